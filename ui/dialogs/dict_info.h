#pragma once

#include <QDialog>
#include <string_view>

class QLabel;

// TfDictInfo, "Информация о словаре": a dictionary's free text ("~info.dat") in a small window
// that a click closes.
namespace verbalon::ui {

class TfDictInfo : public QDialog {
  Q_OBJECT

 public:
  explicit TfDictInfo(QWidget* parent = nullptr);

  // The text to show, Windows-1251 as a package stores it. It is shown as plain text: a
  // package is not trusted to format the window.
  void setInfo(std::string_view cp1251);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void FormClick();

  QLabel* lbInfo;
};

}  // namespace verbalon::ui
