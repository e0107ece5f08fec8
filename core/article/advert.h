#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "common/string_list.h"

// The advertisement block of article pages.
//
// `slAdvert` holds one record per line, read at start-up from "advert\advert.db" of the
// resource package: Windows-1251 fields separated by ";", counted from 0:
//   0 unused, 1 product identifier, 2 author, 3 product name,
//   4 picture file name (a stream of the package storage "advert"), 5 price as text.
// Further fields are ignored; empty text after a last ";" is no field.
namespace verbalon::article {

// The pseudo-random sequence of the draw: a 32-bit state, 0 at the start of a run and never
// seeded, so every run shows the same sequence of records.
class AdvertRandom {
 public:
  AdvertRandom() = default;

  // Advances the state to state * 134775813 + 1 (modulo 2^32) and returns
  // (state * n) / 2^32 rounded down: a value below n, or 0 when n is 0.
  uint32_t draw(uint32_t n);
  // Advances the state as count draws would, in a number of steps logarithmic in count. The
  // sequence repeats after kPeriod draws, so only count modulo kPeriod matters.
  void skip(uint64_t count);
  uint32_t state() const { return m_state; }

  // The multiplier is 1 modulo 4 and the increment odd, so every 32-bit state comes round.
  static constexpr uint64_t kPeriod = uint64_t{1} << 32;

 private:
  uint32_t m_state = 0;
};

// `slAdvert` and the draw; one per run, owned by whoever builds article pages.
class Advert {
 public:
  explicit Advert(StringList slAdvert) : m_slAdvert(std::move(slAdvert)) {}

  // Returns page with "%%IMAGE" replaced by "advert\" and field 4 of one record, "%%PID" by
  // field 1, "%%AUTHOR" by field 2, "%%NAME" by field 3 and "%%PRICE" by field 5, in this order,
  // by replaceAll's rule. The record is record r of a draw r below the number of records. Every
  // call draws once, also for a page without placeholders. When the list cannot supply a record
  // (it is empty, or the record has fewer than six fields) the placeholders become empty text
  // instead of stopping the page.
  std::string FillAdvert(std::string_view page);

  // Draws count times without filling anything: the state after count pages. Any count takes
  // the same few steps (AdvertRandom::skip).
  void skipDraws(uint64_t count);

  const StringList& slAdvert() const { return m_slAdvert; }

 private:
  StringList m_slAdvert;
  AdvertRandom m_random;
};

}  // namespace verbalon::article
