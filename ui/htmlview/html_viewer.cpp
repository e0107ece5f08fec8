#include "htmlview/html_viewer.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <exception>
#include <functional>
#include <utility>

#include "htmlview/detail/page_references.h"
#include "qtglue/error_box.h"
#include "qtglue/error_text.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

namespace detail {

// Draws the page's pictures from what the viewer fetched. Qt's own handler loads a picture
// that it did not get as a file named like its source, and looks for "@2x" variants of it on
// disk; this one only ever draws what picture gives it for the key that names a picture.
class PageImages : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

 public:
  PageImages(QObject* parent, std::function<QImage(const QString& key)> picture)
      : QObject(parent), m_picture(std::move(picture)) {}

  QSizeF intrinsicSize(QTextDocument* /*doc*/, int /*posInDocument*/,
                       const QTextFormat& format) override {
    const QTextImageFormat image = format.toImageFormat();
    const QSizeF natural = m_picture(image.name()).size();
    qreal width = image.width();
    qreal height = image.height();
    // As Qt sizes pictures: a missing dimension keeps the picture's proportions.
    if (width <= 0 && height <= 0) {
      return natural;
    }
    if (width <= 0) {
      width = natural.height() > 0 ? natural.width() * height / natural.height() : height;
    }
    if (height <= 0) {
      height = natural.width() > 0 ? natural.height() * width / natural.width() : width;
    }
    return {width, height};
  }

  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* /*doc*/,
                  int /*posInDocument*/, const QTextFormat& format) override {
    const QImage image = m_picture(format.toImageFormat().name());
    if (!image.isNull()) {
      painter->drawImage(rect, image);
    }
  }

 private:
  std::function<QImage(const QString& key)> m_picture;
};

}  // namespace detail

THTMLViewer::THTMLViewer(QWidget* parent)
    : QTextBrowser(parent), m_images(new detail::PageImages(this, [this](const QString& key) {
        return m_references.value(key).content.value<QImage>();
      })) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, &THTMLViewer::anchorClick);
}

void THTMLViewer::LoadFromString(const std::string& html) {
  m_references.clear();
  m_keys.clear();
  m_failed.clear();
  document()->documentLayout()->registerHandler(QTextFormat::ImageObject, m_images);
  // Laid out with the scroll bar shown, so that a long page is laid out once: with the bar
  // shown only as needed, the layout of the whole page makes the bar appear, which narrows the
  // page, which is laid out again (and a page of 64 fragments took three times as long). Only a
  // page short enough to need no bar is laid out again, at the full width, when the bar goes.
  const Qt::ScrollBarPolicy policy = verticalScrollBarPolicy();
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHtml(rewritten(html));
  setVerticalScrollBarPolicy(policy);
}

QString THTMLViewer::rewritten(const std::string& html) {
  return detail::rewriteReferences(
      toQString(html),
      [this](detail::ReferenceKind kind, const QString& text) { return keyFor(kind, text); });
}

std::unique_ptr<QTextDocument> THTMLViewer::layOutAside(const std::string& html, qreal width) {
  // A child of the viewer: Qt asks the parent's loadResource for whatever the document names.
  auto aside = std::make_unique<QTextDocument>(this);
  aside->setDefaultFont(document()->defaultFont());
  aside->setDocumentMargin(document()->documentMargin());
  aside->documentLayout()->registerHandler(QTextFormat::ImageObject, m_images);
  aside->setHtml(rewritten(html));
  aside->setTextWidth(width);
  return aside;
}

// Keys are absolute URLs of a scheme of their own, so Qt resolves nothing against them and
// hands them back unchanged.
QString THTMLViewer::keyFor(detail::ReferenceKind kind, const QString& text) {
  const QString id = QString::number(static_cast<int>(kind)) + QLatin1Char(':') + text;
  if (const auto known = m_keys.constFind(id); known != m_keys.cend()) {
    return *known;
  }

  Reference reference{text, {}};
  if (kind == detail::ReferenceKind::Image) {
    if (const auto bytes = request(OnImageRequest, text)) {
      QImage image;
      if (image.loadFromData(*bytes)) {
        reference.content = image;
      } else {
        m_failed << text + QStringLiteral(": not a picture in a format the viewer reads");
      }
    }
  } else if (kind == detail::ReferenceKind::StyleSheet) {
    if (const auto bytes = request(OnhtStreamRequest, text)) {
      reference.content =
          toQString(std::string_view(bytes->constData(), static_cast<size_t>(bytes->size())));
    }
  }
  QString key = QStringLiteral("verbalon:%1").arg(m_references.size());
  m_references.insert(key, reference);
  m_keys.insert(id, key);
  return key;
}

std::optional<QByteArray> THTMLViewer::request(const StreamRequest& handler,
                                               const QString& source) {
  if (!handler) {
    return std::nullopt;
  }
  try {
    const std::string_view bytes = handler(fromQString(source));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
  } catch (const std::exception& e) {
    m_failed << source + QStringLiteral(": ") + errorText(e);
  } catch (...) {
    m_failed << source + QStringLiteral(": unknown error");
  }
  return std::nullopt;
}

QVariant THTMLViewer::loadResource(int type, const QUrl& name) {
  // Only what LoadFromString fetched: the viewer reads no files and asks for nothing twice.
  QVariant content = m_references.value(name.toString()).content;
  if (!content.isNull()) {
    return content;
  }
  // Never a null answer: QTextDocument then reads the URL as a local file, whatever its kind
  // (a style sheet named by url() in CSS, "file:///dev/zero", a FIFO, or a file named like one
  // of the keys in the working folder).
  if (type == QTextDocument::ImageResource) {
    QImage none(1, 1, QImage::Format_ARGB32);
    none.fill(Qt::transparent);
    return none;
  }
  if (type == QTextDocument::StyleSheetResource) {
    return QString();
  }
  return QByteArray();
}

void THTMLViewer::anchorClick(const QUrl& url) {
  const auto reference = m_references.constFind(url.toString());
  const QString href = reference != m_references.cend() ? reference->text : url.toString();
  bool handled = false;
  if (OnHotSpotClick && !guarded(this, [&] { OnHotSpotClick(fromQString(href), handled); })) {
    return;
  }
  if (!handled && href.startsWith(QLatin1Char('#'))) {
    scrollToAnchor(href.mid(1));
  }
}

void THTMLViewer::mouseReleaseEvent(QMouseEvent* event) {
  QTextBrowser::mouseReleaseEvent(event);
  if (!OnMouseUp) {
    return;
  }
  guarded(this,
          [&] { OnMouseUp(event->button(), event->modifiers(), event->position().toPoint()); });
}

int THTMLViewer::FindTextPosAt(QPoint clientPoint) const {
  const QPointF point(clientPoint.x() + horizontalScrollBar()->value(),
                      clientPoint.y() + verticalScrollBar()->value());
  return document()->documentLayout()->hitTest(point, Qt::ExactHit);
}

bool THTMLViewer::GetCharAtPos(int pos, QChar& ch) const {
  // The document's last character is the paragraph end that every document has; it is not text.
  if (pos < 0 || pos >= document()->characterCount() - 1) {
    return false;
  }
  ch = document()->characterAt(pos);
  return true;
}

}  // namespace verbalon::ui

#include "html_viewer.moc"
