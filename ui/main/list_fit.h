#pragma once

#include <QFont>
#include <optional>
#include <string>

#include "article/article_page.h"
#include "common/string_list.h"

// How many columns of a "LIST" article fit side by side in the article view, so that the page
// never scrolls sideways. What the page templates put around the columns (the page's margins,
// the cells the fragment stands in) and beside each column, and the font the columns are drawn
// in, are measured in the view once, by laying pages of probe columns out aside; an item then
// takes its text's width in that font and the space beside a column.
namespace verbalon::ui {

class THTMLViewer;

// The page of one "LIST" fragment whose items are laid out in columns columns, every other
// placeholder of the templates empty: what the view measures.
std::string probePage(const article::PageTemplates& templates, const StringList& items,
                      size_t columns);

class ListColumnFit {
 public:
  // The fit for a page shown in view now, measured the first time (the templates and the view's
  // font do not change during a run). Templates without columns measure nothing: the fit then
  // caps nothing.
  article::ColumnFit fitFor(THTMLViewer& view, const article::PageTemplates& templates);

 private:
  struct Measure {
    QFont font;  // of the columns' text
    int around;  // pixels of the page beside all its columns
    int beside;  // pixels beside one column's text
  };
  static std::optional<Measure> measure(THTMLViewer& view, const article::PageTemplates& templates);

  bool m_measured = false;
  std::optional<Measure> m_measure;
};

}  // namespace verbalon::ui
