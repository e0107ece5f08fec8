#pragma once

#include <QString>
#include <QStringView>
#include <functional>

// The references an article page makes, found in its HTML before Qt sees it. Qt turns every
// reference into a QUrl, which rewrites backslashes, "%", "#" and "?" and drops style sheets
// whose LINK has no type, so the viewer replaces each reference by a key of its own and keeps
// the text as the page wrote it.
namespace verbalon::ui::detail {

enum class ReferenceKind {
  Image,       // the SRC of an IMG, the BACKGROUND of any element
  StyleSheet,  // the HREF of a LINK whose REL is "stylesheet" (letter case ignored)
  Link,        // the HREF of an A
};

// Returns html with the value of every non-empty reference replaced by keyFor(kind, value),
// written in double quotes. value is the attribute's text with character references (&amp;,
// &#1076;, ...) decoded and nothing else changed. A style-sheet LINK becomes
// <link rel="stylesheet" type="text/css" href="key" />, the form that Qt loads; other LINKs are
// dropped.
//
// Before every element but an A that has a non-empty ID, an empty <a name="ID"></a> is put, so
// that a "#" link reaches the element also where Qt keeps no anchor for its id (a TABLE, a TR).
//
// The text of every STYLE element and the value of every STYLE attribute go through
// rewriteStyleReferences; a STYLE attribute is written back in double quotes.
//
// Tag and attribute names are matched ignoring letter case; values may be double-quoted,
// single-quoted or bare. Comments and the text of SCRIPT elements are left alone. keyFor must
// return text that needs no escaping inside double quotes or an unquoted CSS url().
QString rewriteReferences(
    QStringView html,
    const std::function<QString(ReferenceKind kind, const QString& value)>& keyFor);

// Returns the CSS text css with every url(...) (quoted or not) replaced by url(key), key being
// keyFor(Image, the URL), and the sheet of every @import, url(...) or string, by
// url(keyFor(StyleSheet, the URL)). An empty URL is dropped. Comments are left alone. Qt would
// otherwise read each such URL itself, as a local file.
QString rewriteStyleReferences(
    QStringView html,
    const std::function<QString(ReferenceKind kind, const QString& value)>& keyFor);

}  // namespace verbalon::ui::detail
