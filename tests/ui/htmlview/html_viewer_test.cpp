#include "htmlview/html_viewer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/cp1251.h"
#include "common/error.h"
#include "htmlview/detail/page_references.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"

using verbalon::ui::THTMLViewer;
using verbalon::ui::toQString;

namespace {

std::string win1251(const char* utf8) {
  return verbalon::cp1251::fromUtf8(utf8);
}

// The owner's side of the requests: serves named streams through one buffer that every request
// overwrites, as the program serves package streams through ReadBuf, and records the names.
class Server {
 public:
  std::map<std::string, QByteArray> streams;
  QStringList images;
  QStringList sheets;

  explicit Server(THTMLViewer& viewer) {
    viewer.OnImageRequest = [this](const std::string& name) {
      images << toQString(name);
      return serve(name);
    };
    viewer.OnhtStreamRequest = [this](const std::string& name) {
      sheets << toQString(name);
      return serve(name);
    };
  }

 private:
  std::string_view serve(const std::string& name) {
    std::fill(m_buffer.begin(), m_buffer.end(), '\0');
    const auto stream = streams.find(name);
    if (stream == streams.end()) throw verbalon::Error("stream not found");
    m_buffer = stream->second.toStdString();
    return m_buffer;
  }

  std::string m_buffer;
};

QByteArray encoded(const QColor& colour, const char* format) {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

// Qt reads GIF but cannot write it, so this one is spelled out: a 1x1 picture whose only pixel
// takes entry 0 of a two-entry colour table (LZW minimum code size 2: clear, 0, end).
QByteArray onePixelGif(const QColor& colour) {
  QByteArray gif("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
  gif += static_cast<char>(colour.red());
  gif += static_cast<char>(colour.green());
  gif += static_cast<char>(colour.blue());
  gif += QByteArray("\x00\x00\x00", 3);
  gif += QByteArray(",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;", 16);
  return gif;
}

int pixelsOf(THTMLViewer& viewer, const QColor& colour) {
  const QImage shown = viewer.viewport()->grab().toImage();
  int count = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      const QColor pixel = shown.pixelColor(x, y);
      if (qAbs(pixel.red() - colour.red()) < 16 && qAbs(pixel.green() - colour.green()) < 16 &&
          qAbs(pixel.blue() - colour.blue()) < 16) {
        ++count;
      }
    }
  }
  return count;
}

int positionOf(const THTMLViewer& viewer, const QString& text) {
  return viewer.document()->find(text).selectionStart();
}

// Where the character at pos shows now, in client coordinates (pos and pos + 1 on one line).
QRect characterRect(const THTMLViewer& viewer, int pos) {
  QTextCursor cursor(viewer.document());
  cursor.setPosition(pos);
  const QRect left = viewer.cursorRect(cursor);
  cursor.setPosition(pos + 1);
  return {left.topLeft(), QPoint(viewer.cursorRect(cursor).x() - 1, left.bottom())};
}

QPoint pointOnCharacter(const THTMLViewer& viewer, int pos) {
  return characterRect(viewer, pos).center();
}

QColor colourOf(const THTMLViewer& viewer, const QString& text) {
  return viewer.document()->find(text).charFormat().foreground().color();
}

// A viewer whose document's own resource loading fails the test: every request Qt makes is
// recorded, and one that the viewer leaves unanswered, which Qt would then read as a local file,
// is answered here instead and listed in unanswered.
class LoudViewer : public THTMLViewer {
 public:
  QStringList requests;
  QStringList unanswered;

 protected:
  QVariant loadResource(int type, const QUrl& name) override {
    requests << name.toString();
    QVariant answer = THTMLViewer::loadResource(type, name);
    if (answer.isNull()) {
      unanswered << name.toString();
      answer = QByteArray();
    }
    return answer;
  }
};

}  // namespace

class HtmlViewerTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() {
    m_viewer = std::make_unique<THTMLViewer>();
    m_viewer->resize(400, 300);
    m_viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_viewer.get()));
  }
  void cleanup() { m_viewer.reset(); }

  void requestsEveryStyleSheetLinkOnceAndAppliesItInWindows1251() {
    Server server(*m_viewer);
    server.streams["main.css"] =
        QByteArray::fromStdString(win1251("p.a { color: #ff0000 } p.b { font-family: \"Шрифт\" }"));
    server.streams["other.css"] = "p.c { color: #0000ff }";
    m_viewer->LoadFromString(win1251(R"(<html><head>
<!-- <link rel="stylesheet" href="old.css"> -->
<LINK REL="StyleSheet" HREF="main.css">
<link href=other.css type="text/css" rel=stylesheet>
<link rel='stylesheet' href='main.css'/>
</head><body><p class="a">красный</p>
<link rel="next" type="text/css" href="next.css">
<p class="b">шрифт</p><p class="c">синий</p></body></html>)"));

    QCOMPARE(server.sheets, QStringList({QStringLiteral("main.css"), QStringLiteral("other.css")}));
    QVERIFY(server.images.isEmpty());
    QVERIFY(m_viewer->failedResources().isEmpty());
    QCOMPARE(colourOf(*m_viewer, QStringLiteral("красный")), QColor(Qt::red));
    QCOMPARE(colourOf(*m_viewer, QStringLiteral("синий")), QColor(Qt::blue));
    QVERIFY(m_viewer->document()
                ->find(QStringLiteral("шрифт"))
                .charFormat()
                .font()
                .families()
                .contains(QStringLiteral("Шрифт")));
  }

  void requestsImagesBySourceAsWrittenAndShowsGifPngAndJpeg() {
    Server server(*m_viewer);
    server.streams[win1251("advert\\cover.gif")] = onePixelGif(Qt::red);
    server.streams[win1251("картинка 1.png")] = encoded(Qt::green, "PNG");
    server.streams[win1251("a#b%41?c.jpg")] = encoded(Qt::blue, "JPEG");
    m_viewer->LoadFromString(win1251(R"(<html><body>
<img src="advert\cover.gif" width="40" height="30">
<IMG ALT="a>b" SRC='картинка 1.png'>
<img src=a#b%41?c.jpg>
<img width=40 height=30 src="advert\cover.gif">
</body></html>)"));

    QCOMPARE(server.images,
             QStringList({QStringLiteral("advert\\cover.gif"), QStringLiteral("картинка 1.png"),
                          QStringLiteral("a#b%41?c.jpg")}));
    QVERIFY(m_viewer->failedResources().isEmpty());
    QVERIFY(pixelsOf(*m_viewer, Qt::red) >= 2 * 40 * 30 * 9 / 10);
    QVERIFY(pixelsOf(*m_viewer, Qt::green) >= 40 * 30 * 9 / 10);
    QVERIFY(pixelsOf(*m_viewer, Qt::blue) >= 40 * 30 * 9 / 10);
  }

  void showsThePageWithoutResourcesWhoseRequestFailed() {
    Server server(*m_viewer);
    server.streams["ok.png"] = encoded(Qt::green, "PNG");
    server.streams["text.png"] = "not a picture";
    m_viewer->LoadFromString(win1251(R"(<html><head><link rel=stylesheet href="gone.css"></head>
<body><p>слово</p><img src="нет.gif"><img src="text.png"><img src="ok.png"></body></html>)"));

    QCOMPARE(m_viewer->failedResources(),
             QStringList({QStringLiteral("gone.css: stream not found"),
                          QStringLiteral("нет.gif: stream not found"),
                          QStringLiteral("text.png: not a picture in a format the viewer reads")}));
    QVERIFY(m_viewer->toPlainText().contains(QStringLiteral("слово")));
    QVERIFY(pixelsOf(*m_viewer, Qt::green) >= 40 * 30 * 9 / 10);

    m_viewer->OnImageRequest = [](const std::string&) -> std::string_view { throw 42; };
    m_viewer->LoadFromString("<img src=\"x.png\">");
    QCOMPARE(m_viewer->failedResources(), QStringList(QStringLiteral("x.png: unknown error")));
  }

  void reportsLinksAsWrittenAndScrollsToAnAnchorLeftUnhandled() {
    QString body = QStringLiteral(
        "<p><a href=\"http://пример.рф/a b?q=%41&amp;r=1#x\">внешняя</a></p>"
        "<p><a href=\"#end\">вниз</a></p>");
    for (int i = 0; i < 100; ++i)
      body += QStringLiteral("<p>строка</p>");
    body += QStringLiteral("<p><a name=\"end\">конец</a></p>");
    m_viewer->LoadFromString(verbalon::ui::fromQString(body));

    QStringList urls;
    bool handle = false;
    m_viewer->OnHotSpotClick = [&](const std::string& url, bool& handled) {
      urls << toQString(url) + (handled ? QStringLiteral(" (handled)") : QString());
      handled = handle;
    };
    const auto click = [&](const QString& text) {
      QTest::mouseClick(m_viewer->viewport(), Qt::LeftButton, {},
                        pointOnCharacter(*m_viewer, positionOf(*m_viewer, text) + 1));
    };
    QScrollBar* scroll = m_viewer->verticalScrollBar();

    click(QStringLiteral("внешняя"));
    QCOMPARE(urls, QStringList(QStringLiteral("http://пример.рф/a b?q=%41&r=1#x")));
    QCOMPARE(scroll->value(), 0);

    handle = true;
    click(QStringLiteral("вниз"));
    QCOMPARE(scroll->value(), 0);

    handle = false;
    click(QStringLiteral("вниз"));
    QCOMPARE(urls.size(), 3);
    QCOMPARE(urls.last(), QStringLiteral("#end"));
    QVERIFY(scroll->value() > 0);

    // An error in the handler goes to the error report and ends the click there.
    static QString reported;
    verbalon::ui::setDialogHooks({[](const QString& message) { reported = message; }});
    scroll->setValue(0);
    m_viewer->OnHotSpotClick = [](const std::string&, bool&) {
      throw verbalon::Error("cannot open");
    };
    click(QStringLiteral("вниз"));
    verbalon::ui::setDialogHooks({});
    QCOMPARE(reported, QStringLiteral("cannot open"));
    QCOMPARE(scroll->value(), 0);
  }

  void findsTheCharacterUnderTheMouse() {
    struct Release {
      Qt::MouseButton button;
      Qt::KeyboardModifiers keys;
      QPoint point;
    };
    QList<Release> releases;
    m_viewer->OnMouseUp = [&](Qt::MouseButton button, Qt::KeyboardModifiers keys, QPoint point) {
      releases.append({button, keys, point});
    };
    m_viewer->LoadFromString(win1251("<html><body><p>слово (дом), ещё</p></body></html>"));

    const QPoint onO = pointOnCharacter(*m_viewer, 8);
    QTest::mouseClick(m_viewer->viewport(), Qt::LeftButton, Qt::ControlModifier, onO);
    QTest::mouseRelease(m_viewer->viewport(), Qt::RightButton, {}, onO);
    QCOMPARE(releases.size(), 2);
    QCOMPARE(releases[0].button, Qt::LeftButton);
    QCOMPARE(releases[0].keys, Qt::KeyboardModifiers(Qt::ControlModifier));
    QCOMPARE(releases[0].point, onO);
    QCOMPARE(releases[1].button, Qt::RightButton);
    QCOMPARE(releases[1].keys, Qt::KeyboardModifiers());

    QCOMPARE(m_viewer->FindTextPosAt(releases[0].point), 8);
    QChar ch;
    QVERIFY(m_viewer->GetCharAtPos(8, ch));
    QCOMPARE(ch, QChar(u'о'));
    // The right half of a letter is still that letter, not the boundary after it.
    const QRect o = characterRect(*m_viewer, 8);
    QCOMPARE(m_viewer->FindTextPosAt({o.right() - 1, o.center().y()}), 8);

    const QPoint endOfLine = pointOnCharacter(*m_viewer, 15);
    QCOMPARE(m_viewer->FindTextPosAt(endOfLine + QPoint(40, 0)), -1);
    QCOMPARE(m_viewer->FindTextPosAt(onO + QPoint(0, 100)), -1);
    QVERIFY(m_viewer->GetCharAtPos(15, ch));
    QCOMPARE(ch, QChar(u'ё'));
    QVERIFY(!m_viewer->GetCharAtPos(16, ch));
    QVERIFY(!m_viewer->GetCharAtPos(-1, ch));
  }

  void findsTheCharacterUnderTheMouseOnAScrolledPage() {
    std::string page = "<html><body>";
    for (int i = 0; i < 100; ++i)
      page += "<p>line " + std::to_string(i) + "</p>";
    page += "<p style=\"margin-bottom: 100px\">end</p></body></html>";
    m_viewer->LoadFromString(page);
    QScrollBar* scroll = m_viewer->verticalScrollBar();
    scroll->setValue(scroll->maximum());
    QVERIFY(scroll->value() > 1000);

    const int end = positionOf(*m_viewer, QStringLiteral("end"));
    const QPoint onEnd = pointOnCharacter(*m_viewer, end + 1);
    QVERIFY(m_viewer->viewport()->rect().contains(onEnd));
    QCOMPARE(m_viewer->FindTextPosAt(onEnd), end + 1);
    QCOMPARE(m_viewer->FindTextPosAt(onEnd + QPoint(0, 60)), -1);

    m_viewer->LoadFromString(page);
    QCOMPARE(scroll->value(), 0);
  }

  // Local pictures and sheets named by CSS, and files named like the viewer's keys in the
  // working folder, must never show: the view does not touch the file system.
  void readsNoLocalFileWhateverThePageNames() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString red = folder.filePath(QStringLiteral("red.png"));
    const QString sheet = folder.filePath(QStringLiteral("red.css"));
    {
      QFile png(red);
      QVERIFY(png.open(QIODevice::WriteOnly));
      png.write(encoded(Qt::red, "PNG"));
      QFile css(sheet);
      QVERIFY(css.open(QIODevice::WriteOnly));
      css.write("p { color: #ff0000 } body { background-image: url(red.png) }");
      // Named like the keys that stand for the page's references.
      for (int key = 0; key < 12; ++key) {
        QVERIFY(QFile::copy(red, folder.filePath(QStringLiteral("verbalon:%1").arg(key))));
      }
    }
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder.path());

    auto viewer = std::make_unique<LoudViewer>();
    viewer->resize(400, 300);
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
    Server server(*viewer);
    server.streams[win1251("advert\\зелёный.png")] = encoded(Qt::green, "PNG");
    const std::string fileUrl = QUrl::fromLocalFile(red).toString().toStdString();
    const std::string sheetUrl = QUrl::fromLocalFile(sheet).toString().toStdString();
    viewer->LoadFromString(win1251(
        ("<html><head><style>@import url(" + sheetUrl + "); @import \"" + sheetUrl +
         "\";\np.b { background-image: url( '" + red.toStdString() +
         "' ) }\n/* url(nothing.png) */ td { background: url(file:///dev/zero) }</style></head>"
         "<body><p class=\"b\">text</p><p style=\"background-image:url(" +
         fileUrl + ")\">styled</p><p style='background-image: url(\"advert\\зелёный.png\")'>" +
         std::string(200, 'g') +
         "</p><table><tr><td>cell</td></tr></table><img src=\"red.png\"><img src=\"" + fileUrl +
         "\" width=40 height=30></body></html>")
            .c_str()));
    QDir::setCurrent(before);

    QCOMPARE(viewer->unanswered, QStringList());
    QVERIFY(!viewer->requests.isEmpty());
    // Every URL went to the owner's handlers, as the page wrote it; none was a package stream
    // but the green picture.
    QCOMPARE(server.sheets, QStringList({toQString(sheetUrl)}));
    QCOMPARE(server.images,
             QStringList({red, QStringLiteral("file:///dev/zero"), toQString(fileUrl),
                          QStringLiteral("advert\\зелёный.png"), QStringLiteral("red.png")}));
    QCOMPARE(pixelsOf(*viewer, Qt::red), 0);
    QVERIFY(pixelsOf(*viewer, Qt::green) > 100);
    QVERIFY(colourOf(*viewer, QStringLiteral("text")) != QColor(Qt::red));
  }

  void rewritesUrlsOfStyleSheetsAndStyleAttributes() {
    QStringList seen;
    const auto keyFor = [&seen](verbalon::ui::detail::ReferenceKind kind, const QString& value) {
      seen << QString::number(static_cast<int>(kind)) + QLatin1Char(':') + value;
      return QStringLiteral("k%1").arg(seen.size());
    };
    using verbalon::ui::detail::rewriteStyleReferences;
    QCOMPARE(rewriteStyleReferences(
                 u"@import 'a.css'; @IMPORT url(b.css) screen; p { background: URL( \"c d\" ) "
                 u"no-repeat } /* url(e) */ q { x: url() }",
                 keyFor),
             QStringLiteral("@import url(k1); @IMPORT url(k2) screen; p { background: url(k3) "
                            "no-repeat } /* url(e) */ q { x:  }"));
    QCOMPARE(seen, QStringList({QStringLiteral("1:a.css"), QStringLiteral("1:b.css"),
                                QStringLiteral("0:c d")}));
    seen.clear();
    QCOMPARE(verbalon::ui::detail::rewriteReferences(
                 u"<p style='a: url(\"x&amp;y\")' class=c>t</p><style>b{c:url(z)}</style>", keyFor),
             QStringLiteral("<p style=\"a: url(k1)\" class=c>t</p><style>b{c:url(k2)}</style>"));
    QCOMPARE(seen, QStringList({QStringLiteral("0:x&y"), QStringLiteral("0:z")}));
    // Ids become named anchors before their elements, where Qt would keep none.
    QCOMPARE(verbalon::ui::detail::rewriteReferences(
                 u"<table id=t><tr ID='a&amp;\"b'><td id=\"\">x</td></tr></table><a id=q>", keyFor),
             QStringLiteral("<a name=\"t\"></a><table id=t><a name=\"a&amp;&quot;b\"></a><tr "
                            "ID='a&amp;\"b'><td id=\"\">x</td></tr></table><a id=q>"));
  }

  void loadingAPageForgetsEverythingOfThePreviousOne() {
    Server server(*m_viewer);
    server.streams["red.png"] = encoded(Qt::red, "PNG");
    server.streams["red.css"] = "p { color: #ff0000 }";
    const std::string page =
        "<link rel=stylesheet href=red.css><p>text</p><img src=red.png><a href='#a'>a</a>";
    m_viewer->LoadFromString(page);
    m_viewer->LoadFromString(page);
    QCOMPARE(server.images, QStringList({QStringLiteral("red.png"), QStringLiteral("red.png")}));
    QCOMPARE(server.sheets, QStringList({QStringLiteral("red.css"), QStringLiteral("red.css")}));
    QVERIFY(pixelsOf(*m_viewer, Qt::red) > 1000);
    QCOMPARE(colourOf(*m_viewer, QStringLiteral("text")), QColor(Qt::red));

    // Same names, same places, now missing: nothing of the red page may show.
    server.streams.clear();
    m_viewer->LoadFromString(page);
    QCOMPARE(server.images.size(), 3);
    QCOMPARE(m_viewer->failedResources().size(), 2);
    QCOMPARE(pixelsOf(*m_viewer, Qt::red), 0);
    QVERIFY(colourOf(*m_viewer, QStringLiteral("text")) != QColor(Qt::red));

    m_viewer->LoadFromString("<p>text</p>");
    QVERIFY(m_viewer->failedResources().isEmpty());
  }

 private:
  std::unique_ptr<THTMLViewer> m_viewer;
};

QTEST_MAIN(HtmlViewerTest)
#include "html_viewer_test.moc"
