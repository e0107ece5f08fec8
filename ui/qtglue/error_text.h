#pragma once

#include <QString>
#include <exception>

// The window speaks Russian, while the core's messages are English for the tool. This is the
// one place that says in Russian what an error means: by its class and the facts it carries
// (kind of fault, file name, stream), never by reading its English text.
namespace verbalon::ui {

// The Russian message for error, naming the file it concerns where there is one, e.g.
// «Файл words.brd занят другой программой.» An error whose text the window wrote itself (a plain
// verbalon::Error raised by the UI) is shown as it stands.
QString errorText(const std::exception& error);

// errorText of what ptr holds; «Неизвестная ошибка» for what is no std::exception.
QString errorText(const std::exception_ptr& ptr);

}  // namespace verbalon::ui
