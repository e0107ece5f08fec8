#pragma once

#include <QHash>
#include <QPoint>
#include <QStringList>
#include <QTextBrowser>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace verbalon::ui {

namespace detail {
enum class ReferenceKind;
class PageImages;
}  // namespace detail

// The HTML display component: shows an article page, asks its owner for the page's images and
// style sheets, and reports link clicks and mouse releases. Built on QTextBrowser, so it renders
// the HTML subset of Qt's rich text; it never opens a link or touches the file system: every
// resource Qt asks for, of any kind, is answered from what the page's requests returned, or
// empty, and pictures are drawn by the viewer itself.
class THTMLViewer : public QTextBrowser {
  Q_OBJECT

 public:
  // Serves a resource that the page names, given its source or link target exactly as the page
  // writes it (Windows-1251, "advert\cover.gif", "main.css"; character references such as
  // "&amp;" decoded, nothing else changed). The returned bytes need stay valid only until the
  // handler is called again: the viewer copies them at once. An exception means the resource is
  // missing; the page then shows without it (see failedResources).
  using StreamRequest = std::function<std::string_view(const std::string& source)>;
  // A click on a link, with its URL as the page writes it (Windows-1251, as above). handled
  // arrives false; left false, the viewer goes on with its own handling: a URL that begins with
  // "#" scrolls to that anchor of the page, any other is left alone.
  using HotSpotClick = std::function<void(const std::string& url, bool& handled)>;
  // A mouse button released over the view, with the buttons' keyboard modifiers; point is in
  // client coordinates, those of viewport(), the area inside the frame that shows the page.
  using MouseUp =
      std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers keys, QPoint point)>;

  explicit THTMLViewer(QWidget* parent = nullptr);

  // The events, all called on the viewer's thread. An exception from a request leaves that
  // resource out of the page (see failedResources); one from the other two goes to the
  // application's error report.
  StreamRequest OnImageRequest;
  StreamRequest OnhtStreamRequest;
  HotSpotClick OnHotSpotClick;
  MouseUp OnMouseUp;

  // Shows html (a complete Windows-1251 document, empty base reference) in place of the previous
  // page, scrolled to its top. Before it returns it requests, once each, every distinct image
  // source (IMG SRC, BACKGROUND, and url() in STYLE elements and attributes) and style sheet (the
  // HREF of a LINK whose REL is "stylesheet", with or without TYPE, and @import in STYLE) of the
  // page, in the order the page names them. Nothing of the previous
  // page is kept: a resource named again is requested again.
  void LoadFromString(const std::string& html);

  // Lays html out as LoadFromString would lay it out, width pixels wide, without showing it: the
  // page shown stays. What html names is requested as for a page shown, and kept until the next
  // LoadFromString. For measuring a page before it is built; the document is the caller's.
  std::unique_ptr<QTextDocument> layOutAside(const std::string& html, qreal width);

  // The position, counted from 0, of the displayed character under a client point, with the
  // current scrolling taken into account; -1 when the point is over no text.
  int FindTextPosAt(QPoint clientPoint) const;
  // The displayed character at pos; false when pos lies outside the displayed text. A paragraph
  // end reads as U+2029, a line break as U+2028, a picture as U+FFFC.
  bool GetCharAtPos(int pos, QChar& ch) const;

  // What went wrong with the resources of the last page: one line per failed request,
  // "source: message".
  const QStringList& failedResources() const { return m_failed; }

 protected:
  QVariant loadResource(int type, const QUrl& name) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // What the page wrote for one of its references, and what was served for it: a QImage, the
  // style sheet's text, or nothing (a link, or a failed request).
  struct Reference {
    QString text;
    QVariant content;
  };

  // html as Qt is given it: every reference replaced by its key (keyFor).
  QString rewritten(const std::string& html);
  QString keyFor(detail::ReferenceKind kind, const QString& text);
  std::optional<QByteArray> request(const StreamRequest& handler, const QString& source);
  void anchorClick(const QUrl& url);

  // The current page's references by the key that stands in for them in what Qt sees, and the
  // keys by kind and text, so that a resource named twice is requested once.
  QHash<QString, Reference> m_references;
  QHash<QString, QString> m_keys;
  QStringList m_failed;
  detail::PageImages* m_images;  // a child of the viewer
};

}  // namespace verbalon::ui
