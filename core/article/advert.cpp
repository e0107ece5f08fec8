#include "article/advert.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "article/detail/fields.h"
#include "article/replace.h"

namespace verbalon::article {

namespace {
constexpr uint32_t kMultiplier = 134775813u;
constexpr uint32_t kIncrement = 1u;
}  // namespace

uint32_t AdvertRandom::draw(uint32_t n) {
  m_state = m_state * kMultiplier + kIncrement;
  return static_cast<uint32_t>((uint64_t{m_state} * n) >> 32);
}

std::string Advert::FillAdvert(std::string_view page) {
  constexpr size_t kMaxDraw = std::numeric_limits<uint32_t>::max();
  const uint32_t r = m_random.draw(static_cast<uint32_t>(std::min(m_slAdvert.size(), kMaxDraw)));
  std::vector<std::string_view> fields;
  if (r < m_slAdvert.size()) fields = detail::splitFields(m_slAdvert[r], ';');
  // A list that cannot supply a record must not keep every article off the screen; the page
  // then shows an empty advertisement block.
  const bool supplied = fields.size() >= 6;
  if (!supplied) fields.assign(6, std::string_view());

  std::string text =
      replaceAll(page, "%%IMAGE", supplied ? "advert\\" + std::string(fields[4]) : "");
  text = replaceAll(text, "%%PID", fields[1]);
  text = replaceAll(text, "%%AUTHOR", fields[2]);
  text = replaceAll(text, "%%NAME", fields[3]);
  return replaceAll(text, "%%PRICE", fields[5]);
}

// One draw is the map x -> a*x + c modulo 2^32; count draws are that map composed with itself
// count times, built by squaring: (a, c) after (a, c) is (a*a, a*c + c).
void AdvertRandom::skip(uint64_t count) {
  count %= kPeriod;
  uint32_t stepMul = kMultiplier;
  uint32_t stepAdd = kIncrement;
  uint32_t mul = 1;
  uint32_t add = 0;
  for (; count != 0; count >>= 1) {
    if (count & 1) {
      mul *= stepMul;
      add = add * stepMul + stepAdd;
    }
    stepAdd = stepAdd * stepMul + stepAdd;
    stepMul *= stepMul;
  }
  m_state = m_state * mul + add;
}

void Advert::skipDraws(uint64_t count) {
  m_random.skip(count);
}

}  // namespace verbalon::article
