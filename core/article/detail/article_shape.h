#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What keeps one article from freezing the article view. Qt's layout takes minutes over a
// paragraph of megabytes and over a word of a million characters with nowhere to break it, and
// the view runs on the window's thread; the page tool prints the same pages in seconds, so the
// bounds are set by the view. An article is Windows-1251 HTML.
namespace verbalon::article::detail {

// The most bytes of one article that reach a page. Real articles stay below a few kilobytes;
// a page of this size lays out in well under a second.
inline constexpr size_t kArticleLimit = size_t{256} << 10;

// The longest run of text characters without a break opportunity (a blank or a line break)
// that reaches a page; a longer run gets a zero-width space ("&#8203;"), where a line may break.
inline constexpr size_t kLongestRun = 256;

// Shows where an article was cut: «…статья сокращена», in Windows-1251.
std::string cutNote();

// html shortened to at most limit bytes, cut only between tags, comments and the text of
// STYLE and SCRIPT elements, never inside one; cut is set when anything was left out and kept
// otherwise. With breakRuns, runs of more than kLongestRun text characters get zero-width spaces
// (these count against limit too). Tags, comments, character references and STYLE and SCRIPT
// text are copied as they stand; a "<" that starts no tag counts as text.
std::string shapeArticle(std::string_view html, size_t limit, bool breakRuns, bool& cut);

}  // namespace verbalon::article::detail
