#include "htmlview/detail/page_references.h"

#include <QList>
#include <array>
#include <utility>

namespace verbalon::ui::detail {

namespace {

bool isSpace(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isAsciiLetter(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The character references that page authors write in URLs and file names; anything else
// that starts with "&" stays as written, as does a reference without its ";".
QString decodeCharacterReferences(QStringView text) {
  static constexpr std::array<std::pair<QStringView, char16_t>, 6> kNamed{{
      {u"amp", u'&'},
      {u"lt", u'<'},
      {u"gt", u'>'},
      {u"quot", u'"'},
      {u"apos", u'\''},
      {u"nbsp", u'\u00A0'},
  }};
  QString out;
  qsizetype i = 0;
  while (i < text.size()) {
    const qsizetype semicolon = text[i] == u'&' ? text.indexOf(u';', i + 1) : -1;
    if (semicolon > i + 1 && semicolon - i <= 10) {
      const QStringView name = text.sliced(i + 1, semicolon - i - 1);
      uint code = 0;
      if (name.startsWith(u'#')) {
        const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
        bool ok = false;
        code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok || code > 0x10FFFF) {
          code = 0;
        }
      } else {
        for (const auto& [entity, character] : kNamed) {
          if (name == entity) {
            code = character;
          }
        }
      }
      if (code != 0) {
        out += QStringView(QChar::fromUcs4(static_cast<char32_t>(code)));
        i = semicolon + 1;
        continue;
      }
    }
    out += text[i];
    ++i;
  }
  return out;
}

struct Attribute {
  QString name;  // lower case
  QString value;
  // Where the value stands in the page, quotes included; empty for an attribute without "=".
  qsizetype begin = 0;
  qsizetype end = 0;
};

struct Tag {
  QString name;  // lower case
  QList<Attribute> attributes;
  qsizetype end = 0;  // just past the closing ">"

  const Attribute* find(QStringView attributeName) const {
    for (const Attribute& attribute : attributes) {
      if (attribute.name == attributeName && attribute.end > attribute.begin) {
        return &attribute;
      }
    }
    return nullptr;
  }
};

// Reads the start tag whose "<" stands at html[pos], the way browsers split it into attributes:
// a ">" inside a quoted value does not end the tag.
Tag readTag(QStringView html, qsizetype pos) {
  const qsizetype n = html.size();
  Tag tag;
  qsizetype i = pos + 1;
  while (i < n && (isAsciiLetter(html[i]) || html[i].isDigit())) {
    ++i;
  }
  tag.name = html.sliced(pos + 1, i - pos - 1).toString().toLower();
  while (i < n) {
    if (isSpace(html[i]) || html[i] == u'/') {
      ++i;
      continue;
    }
    if (html[i] == u'>') {
      ++i;
      break;
    }
    const qsizetype nameBegin = i;
    while (i < n && !isSpace(html[i]) && html[i] != u'=' && html[i] != u'>' && html[i] != u'/') {
      ++i;
    }
    if (i == nameBegin) {  // a stray "=": no attribute, but the scan must move on
      ++i;
      continue;
    }
    Attribute attribute;
    attribute.name = html.sliced(nameBegin, i - nameBegin).toString().toLower();
    attribute.begin = attribute.end = i;
    qsizetype next = i;
    while (next < n && isSpace(html[next])) {
      ++next;
    }
    if (next < n && html[next] == u'=') {
      i = next + 1;
      while (i < n && isSpace(html[i])) {
        ++i;
      }
      attribute.begin = i;
      if (i < n && (html[i] == u'"' || html[i] == u'\'')) {
        const qsizetype close = html.indexOf(html[i], i + 1);
        const qsizetype stop = close < 0 ? n : close;
        attribute.value = decodeCharacterReferences(html.sliced(i + 1, stop - i - 1));
        i = close < 0 ? n : close + 1;
      } else {
        while (i < n && !isSpace(html[i]) && html[i] != u'>') {
          ++i;
        }
        attribute.value =
            decodeCharacterReferences(html.sliced(attribute.begin, i - attribute.begin));
      }
      attribute.end = i;
    }
    tag.attributes.append(std::move(attribute));
  }
  tag.end = i;
  return tag;
}

QString quoted(const QString& key) {
  return QLatin1Char('"') + key + QLatin1Char('"');
}

bool startsWithNoCase(QStringView text, qsizetype at, QStringView prefix) {
  return text.sliced(at).startsWith(prefix, Qt::CaseInsensitive);
}

// The URL of a CSS url(...) or string that starts at css[i] (after "url(" and blanks for the
// former), and where it ends: past the closing quote, or past the ")" of an unquoted url(...).
QString cssUrlValue(QStringView css, qsizetype i, bool inUrl, qsizetype& end) {
  const qsizetype n = css.size();
  if (i < n && (css[i] == u'"' || css[i] == u'\'')) {
    const qsizetype close = css.indexOf(css[i], i + 1);
    end = close < 0 ? n : close + 1;
    return css.sliced(i + 1, (close < 0 ? n : close) - i - 1).toString();
  }
  if (!inUrl) {
    end = i;
    return {};
  }
  const qsizetype close = css.indexOf(u')', i);
  end = close < 0 ? n : close;
  return css.sliced(i, end - i).toString().trimmed();
}

}  // namespace

QString rewriteStyleReferences(
    QStringView css,
    const std::function<QString(ReferenceKind kind, const QString& value)>& keyFor) {
  const qsizetype n = css.size();
  QString out;
  out.reserve(n);
  qsizetype copied = 0;
  bool afterImport = false;  // the next url or string names the sheet of an @import
  for (qsizetype i = 0; i < n;) {
    if (startsWithNoCase(css, i, u"/*")) {
      const qsizetype close = css.indexOf(u"*/", i + 2);
      i = close < 0 ? n : close + 2;
      continue;
    }
    if (startsWithNoCase(css, i, u"@import")) {
      afterImport = true;
      i += 7;
      continue;
    }
    const bool url = startsWithNoCase(css, i, u"url(");
    const bool string = afterImport && (css[i] == u'"' || css[i] == u'\'');
    if (!url && !string) {
      if (css[i] == u';' || css[i] == u'{') afterImport = false;
      ++i;
      continue;
    }
    qsizetype valueAt = url ? i + 4 : i;
    while (url && valueAt < n && isSpace(css[valueAt])) {
      ++valueAt;
    }
    qsizetype end = valueAt;
    const QString value = cssUrlValue(css, valueAt, url, end);
    if (url) {
      while (end < n && css[end] != u')') {
        ++end;
      }
      end = end < n ? end + 1 : n;
    }
    out += css.sliced(copied, i - copied);
    // An empty URL names nothing; what Qt would make of it is not worth finding out.
    if (!value.isEmpty()) {
      const ReferenceKind kind = afterImport ? ReferenceKind::StyleSheet : ReferenceKind::Image;
      out += QStringLiteral("url(") + keyFor(kind, value) + QLatin1Char(')');
    }
    copied = end;
    i = end;
    afterImport = false;
  }
  out += css.sliced(copied);
  return out;
}

namespace {

// Text for a double-quoted attribute value.
QString attributeText(const QString& value) {
  QString text = value;
  text.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
  text.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
  return text;
}

}  // namespace

QString rewriteReferences(
    QStringView html,
    const std::function<QString(ReferenceKind kind, const QString& value)>& keyFor) {
  const qsizetype n = html.size();
  QString out;
  out.reserve(n);
  qsizetype copied = 0;  // html before this position is in out already
  qsizetype i = 0;
  while ((i = html.indexOf(u'<', i)) >= 0) {
    if (html.sliced(i).startsWith(u"<!--")) {
      const qsizetype close = html.indexOf(u"-->", i + 4);
      i = close < 0 ? n : close + 3;
      continue;
    }
    // End tags, declarations and a "<" in text carry no references.
    if (i + 1 >= n || !isAsciiLetter(html[i + 1])) {
      ++i;
      continue;
    }
    const qsizetype tagBegin = i;
    const Tag tag = readTag(html, i);
    i = tag.end;

    if (tag.name == u"link") {
      // Qt's parser takes a LINK for a container and hides whatever follows one that is not
      // closed, so every LINK is rewritten closed, or dropped when it is no style sheet: Qt
      // makes no use of the others.
      const Attribute* rel = tag.find(u"rel");
      const Attribute* href = tag.find(u"href");
      out += html.sliced(copied, tagBegin - copied);
      copied = tag.end;
      if (rel && href && !href->value.isEmpty() &&
          rel->value.trimmed().compare(u"stylesheet", Qt::CaseInsensitive) == 0) {
        out += QStringLiteral("<link rel=\"stylesheet\" type=\"text/css\" href=");
        out += quoted(keyFor(ReferenceKind::StyleSheet, href->value)) + QStringLiteral(" />");
      }
    } else {
      // Qt makes the id of some elements no anchor (that of a TABLE or a TR among them): an
      // empty named anchor before the element names the text that follows, where it begins.
      if (const Attribute* id = tag.find(u"id"); id && tag.name != u"a" && !id->value.isEmpty()) {
        out += html.sliced(copied, tagBegin - copied);
        out +=
            QStringLiteral("<a name=") + quoted(attributeText(id->value)) + QStringLiteral("></a>");
        copied = tagBegin;
      }
      for (const Attribute& attribute : tag.attributes) {
        if (attribute.name == u"style" && attribute.end > attribute.begin) {
          out += html.sliced(copied, attribute.begin - copied);
          out += quoted(attributeText(rewriteStyleReferences(attribute.value, keyFor)));
          copied = attribute.end;
          continue;
        }
        const bool image =
            attribute.name == u"background" || (tag.name == u"img" && attribute.name == u"src");
        const bool link = tag.name == u"a" && attribute.name == u"href";
        if (!(image || link) || attribute.value.isEmpty()) {
          continue;
        }
        const ReferenceKind kind = image ? ReferenceKind::Image : ReferenceKind::Link;
        out += html.sliced(copied, attribute.begin - copied);
        out += quoted(keyFor(kind, attribute.value));
        copied = attribute.end;
      }
    }

    // Their text is not HTML: a "<img" inside a script is no image. A style sheet's own
    // references are rewritten like those of the page.
    if (tag.name == u"style" || tag.name == u"script") {
      const QString close = QStringLiteral("</") + tag.name;
      const qsizetype closeAt = html.indexOf(close, i, Qt::CaseInsensitive);
      const qsizetype textEnd = closeAt < 0 ? n : closeAt;
      if (tag.name == u"style") {
        out += html.sliced(copied, i - copied);
        out += rewriteStyleReferences(html.sliced(i, textEnd - i), keyFor);
        copied = textEnd;
      }
      i = textEnd;
    }
  }
  out += html.sliced(copied);
  return out;
}

}  // namespace verbalon::ui::detail
