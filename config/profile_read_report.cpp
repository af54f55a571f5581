#include "config/profile_read_report.h"

namespace corvane {

bool IsCorrection(ProfileRule rule) { return rule <= ProfileRule::kTextCut; }

std::string Describe(const ProfileReadNote& note) {
  const std::string stored = std::to_string(note.stored);
  const std::string second = std::to_string(note.second);
  switch (note.rule) {
    case ProfileRule::kSendDelayTimeCut:
      return note.field + " " + stored + " is above 10000: read as 10000";
    case ProfileRule::kPrefixLowered:
      return note.field + " " + stored + " is above 128: read as 128";
    case ProfileRule::kPortRangeSwapped:
      return note.field + " " + stored + " - " + second + " is reversed: read as " + second +
             " - " + stored;
    case ProfileRule::kTextCut:
      return note.field + " has no zero byte after 96 bytes: read as its first 96 bytes";
    case ProfileRule::kTooShort:
      return "the file has " + stored + " bytes, fewer than the 640 of its header";
    case ProfileRule::kOptionsVersion:
      return "the version of the options part is " + stored + ", not 1";
    case ProfileRule::kOptionsOutside:
      return "the options block at offset " + stored + " does not lie within the file";
    case ProfileRule::kProxyVersion:
      return "the version of the proxy part is " + stored + ", not 1";
    case ProfileRule::kProxyCountAbove1000:
      return "the file counts " + stored + " proxy servers, more than 1000";
    case ProfileRule::kProxyTableOutside:
      return "the " + second + " proxy entries at offset " + stored + " do not lie within the file";
    case ProfileRule::kListCountAbove1000:
      return note.field + " counts " + stored + " entries, more than 1000";
    case ProfileRule::kListOutside:
      return note.field + ": " + second + " entries at offset " + stored +
             " do not lie within the file";
    case ProfileRule::kListsOverlap:
      return note.field +
             ": the lists read so far take more bytes than the file has (areas used "
             "over and over)";
  }
  return note.field;
}

}  // namespace corvane
