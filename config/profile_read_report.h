// What the profile reader did beside handing over records: the corrections it made on the way in,
// the check that ended the reading, and what the file records that the programs do not use.
//
// Only callers that ask for it get a report (the profile tool); the programs read without one, and
// what is read is the same either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace corvane {

enum class ProfileRule : std::uint8_t {
  // Corrections: the value is taken changed and the reading goes on.
  kSendDelayTimeCut,  // a SendDelayTime above 10000 is read as 10000
  kPrefixLowered,     // a prefix above 128 is read as 128
  kPortRangeSwapped,  // a range whose Last is below its First is read in ascending order
  kTextCut,           // a text field without its zero byte is read as its first 96 bytes
  // Checks that end the reading; the record being read is dropped, the ones before it stay.
  kTooShort,             // shorter than the 640-byte header
  kOptionsVersion,       // the version of the options part is not 1
  kOptionsOutside,       // the options block does not lie within the file
  kProxyVersion,         // the version of the proxy part is not 1
  kProxyCountAbove1000,  // more than 1000 proxy entries
  kProxyTableOutside,    // the proxy entries do not lie within the file
  kListCountAbove1000,   // a list of more than 1000 entries
  kListOutside,          // a list's entries do not lie within the file
  kListsOverlap,         // the lists together take more bytes than the file has
};

bool IsCorrection(ProfileRule rule);

struct ProfileReadNote {
  ProfileRule rule = ProfileRule::kTooShort;
  std::optional<std::uint32_t> proxy;  // position of the proxy entry in the file, from 0
  std::string field;         // within that entry: "SendDelayTime", "SendToHostsList[2].Prefix", ...
  std::uint64_t stored = 0;  // the value found: delay, prefix, First, count, offset, version, size
  std::uint64_t second = 0;  // with it: a port range's Last, the entries at a refused offset
};

// One line that says what was found and what the reader did with it, without the entry's
// position: "SendDelayTime 20000 is above 10000: read as 10000".
std::string Describe(const ProfileReadNote& note);

struct ProfileReadReport {
  static constexpr std::size_t kMaxCorrections = 1000;

  // Set by the caller before reading: port ranges are handed over in the order stored, as the
  // window entered them, instead of swapped into ascending order (the swap is still noted). The
  // profile tool shows and exports a file as it is.
  bool keep_port_order = false;

  std::vector<ProfileReadNote> corrections;  // in file order, at most kMaxCorrections
  std::uint64_t more_corrections = 0;        // corrections made beyond those
  std::optional<ProfileReadNote> failure;    // the check that ended the reading, if any

  // What the file records and readers ignore, as far as it was read.
  bool options_read = false;  // the options block passed its checks
  std::uint32_t last_id = 0;  // the writing program's last Id
  bool auto_start = false;    // the writing program's login start
  CalendarTime written_at;
  std::vector<std::uint32_t> stored_ids;  // the writer's Id of each record handed over

  std::uint64_t correction_count() const { return corrections.size() + more_corrections; }
};

}  // namespace corvane
