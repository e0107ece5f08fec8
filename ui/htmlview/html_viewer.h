#pragma once

#include <QPoint>
#include <QStringList>
#include <QTextBrowser>
#include <functional>
#include <string>
#include <string_view>

// The HTML display component: shows an article page, asks its owner for the page's images and
// style sheets, and reports link clicks and mouse releases. Built on QTextBrowser, so it renders
// the HTML subset of Qt's rich text.
namespace verbalon::ui {

class THTMLViewer : public QTextBrowser {
  Q_OBJECT

 public:
  // Serves a resource that the page names, given its source or link target exactly as the page
  // writes it (Windows-1251, "advert\cover.gif", "main.css"). The returned bytes need stay valid
  // only until the handler is called again: the viewer copies them at once. An exception means
  // the resource is missing; the page then shows without it (see failedResources).
  using StreamRequest = std::function<std::string_view(const std::string& source)>;
  // A click on a link, with its URL as the page writes it (Windows-1251). handled arrives false;
  // left false, the viewer goes on with its own handling: a URL that begins with "#" scrolls to
  // that anchor of the page, any other is left alone.
  using HotSpotClick = std::function<void(const std::string& url, bool& handled)>;
  // A mouse button released over the view; point is in the view's client coordinates.
  using MouseUp =
      std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers keys, QPoint point)>;

  explicit THTMLViewer(QWidget* parent = nullptr);

  // The events. They run inside Qt's event handling, so they must not throw, except the two
  // requests, whose exceptions the viewer catches.
  StreamRequest OnImageRequest;
  StreamRequest OnhtStreamRequest;
  HotSpotClick OnHotSpotClick;
  MouseUp OnMouseUp;

  // Shows html (a complete Windows-1251 document, empty base reference) in place of the previous
  // page, requesting its images and linked style sheets (LINK elements whose REL is
  // "stylesheet") through the events above before it returns.
  void LoadFromString(const std::string& html);

  // The position, counted from 0, of the displayed character under a client point, with the
  // current scrolling taken into account; -1 when the point is over no text.
  int FindTextPosAt(QPoint clientPoint) const;
  // The displayed character at pos; false when pos lies outside the displayed text.
  bool GetCharAtPos(int pos, QChar& ch) const;

  // What went wrong with the resources of the last page: one line per failed request, naming
  // the resource and the error.
  const QStringList& failedResources() const { return m_failed; }

 protected:
  QVariant loadResource(int type, const QUrl& name) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void anchorClick(const QUrl& url);
  QByteArray request(const StreamRequest& handler, const std::string& source);

  QStringList m_failed;
};

}  // namespace verbalon::ui
