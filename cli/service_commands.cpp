#include "cli/service_commands.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>

#include "cli/profile_json.h"
#include "cli/profile_show.h"
#include "config/profile_image.h"
#include "service/service_host.h"
#include "service/systemd_service_manager.h"

namespace corvane {
namespace {

constexpr char kUnit[] = "CorvaneService.service";

// A configuration ready for the actions: the profile image to install, or why there is none.
struct CheckedConfiguration {
  std::vector<std::uint8_t> image;
  std::string failure;  // the whole result text; empty when the file can be used
  std::vector<std::string> warnings;
};

class FlagCounter final : public ProfileImageSink {
 public:
  void TakeOptions(const StoredDisplayOptions&) override {}
  void TakeRecord(ProxyServerSettings record) override {
    flagged += record.ServerAutoStartOnService ? 1 : 0;
  }
  std::size_t flagged = 0;
};

std::string Refused(const std::string& path, const std::string& reason,
                    const std::vector<std::string>& details = {}) {
  std::string text = "Failed: Can not use \"" + Printable(path) + "\": " + reason + ".";
  for (const std::string& line : details) text += "\n" + Printable(line);
  return text + "\nThe installed configuration was not changed.";
}

std::string ReadFailure(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
      return "Failed: The file \"" + Printable(path) + "\" not found.";
    case ELOOP:  // O_NOFOLLOW met a symbolic link
      return Refused(path, "it is a symbolic link; name the file it points to");
    case EINVAL:
      return Refused(path, "it is not a regular file");
    case EFBIG:
      return Refused(path, "it is larger than 128 MiB");
    default:
      return Refused(path, std::strerror(error));
  }
}

// Reads `path` once and checks it with the rules of its kind: JSON text (it begins with "{") with
// import's, anything else as a profile with the reader's. A profile is installed byte for byte.
CheckedConfiguration CheckConfiguration(const std::string& path) {
  CheckedConfiguration checked;
  std::vector<std::uint8_t> bytes;
  if (const int error = ReadRegularFile(path, kMaxJsonSize, FollowLinks::kNo, bytes)) {
    checked.failure = ReadFailure(path, error);
    return checked;
  }
  std::size_t first = 0;
  const auto blank = [](std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (first < bytes.size() && blank(bytes[first])) ++first;
  std::size_t flagged = 0;
  if (first < bytes.size() && bytes[first] == '{') {
    const ImportedJson imported = ImportProfileJson(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!imported.problems.empty()) {
      std::vector<std::string> lines;
      for (const JsonProblem& problem : imported.problems) lines.push_back(problem.Text());
      checked.failure = Refused(path, "the JSON configuration was refused", lines);
      return checked;
    }
    checked.image = WriteProfileDocument(imported.document, CurrentUtcTime());
    if (checked.image.empty()) {
      checked.failure = Refused(path, "the profile would be larger than 64 MiB");
      return checked;
    }
    for (const ProxyServerSettings& record : imported.document.Records) {
      flagged += record.ServerAutoStartOnService ? 1 : 0;
    }
  } else {
    if (bytes.size() > kMaxProfileSize) {
      checked.failure = Refused(path, "a profile is at most 64 MiB");
      return checked;
    }
    FlagCounter counter;
    ProfileReadReport report;
    if (!ReadProfileImage(bytes, counter, &report)) {
      std::string reason = "it is neither JSON nor a readable profile";
      if (report.failure) {
        reason += " (";
        if (report.failure->proxy)
          reason += "proxy server " + std::to_string(*report.failure->proxy + 1) + ": ";
        reason += Describe(*report.failure) + ")";
      }
      checked.failure = Refused(path, reason);
      return checked;
    }
    checked.image = std::move(bytes);
    flagged = counter.flagged;
  }
  if (flagged == 0) {
    checked.warnings.push_back(
        "no proxy server is flagged ServerAutoStartOnService: the service will end at its start");
  } else if (flagged > ServiceHost::kMaxThreads) {
    checked.warnings.push_back("only the first 64 of the " + std::to_string(flagged) +
                               " proxy servers flagged ServerAutoStartOnService will run");
  }
  return checked;
}

// A private folder holding the checked configuration while an action copies it; removed with
// everything in it when the command ends.
class ScratchCopy {
 public:
  ~ScratchCopy() {
    if (!folder_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
    }
  }
  // The path of the written copy, or nothing (with the errno) when it could not be written.
  std::optional<std::string> Write(const std::string& scratch,
                                   const std::vector<std::uint8_t>& image, int& error) {
    std::string pattern = scratch + "/corvanectl.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      error = errno;
      return std::nullopt;
    }
    folder_ = pattern;
    const std::string file = folder_ + "/configuration.dat";
    if (const std::error_code written = WriteFileReplacing(file, image, 0600)) {
      error = written.value();
      return std::nullopt;
    }
    return file;
  }

 private:
  std::string folder_;
};

int Usage(std::ostream& err, const std::string& problem) {
  err << "corvanectl: " << problem << "\nTry 'corvanectl --help'.\n";
  return 2;
}

// The action's text, its "\r\n" line breaks as this terminal's: on standard output after a
// success, on standard error after a failure.
int Report(const ServiceOutcome& outcome, std::ostream& out, std::ostream& err) {
  if (outcome.message.empty()) {
    err << "Failed: The action ended unexpectedly.\n";
    return 1;
  }
  std::string text;
  for (const char c : outcome.message) {
    if (c != '\r') text += c;
  }
  (outcome.succeeded ? out : err) << text << "\n";
  return outcome.succeeded ? 0 : 1;
}

// A configuration file that cannot be used.
int Refuse(const std::string& text, std::ostream& err) { return Report({false, text}, err, err); }

int Status(ServiceCommandHost& host, std::ostream& out, std::ostream& err) {
  const ServiceStatusReport report = host.query_status();
  if (report.error) {
    err << "Failed: Can not ask the service manager about " << kUnit << ": "
        << report.error.message() << ".\n";
    return 1;
  }
  if (report.load_state == "not-found") {
    out << kUnit << ": not installed\n";
    return 3;
  }
  out << kUnit << ": " << report.active_state << " (" << report.sub_state << ")\n";
  if (!report.status_text.empty()) out << Printable(report.status_text) << "\n";
  return StateOfActiveState(report.active_state) == ServiceRunState::kRunning ? 0 : 3;
}

}  // namespace

bool IsServiceCommand(std::string_view command) {
  return command == "install" || command == "apply" || command == "start" || command == "stop" ||
         command == "remove" || command == "status";
}

int RunServiceCommand(const std::vector<std::string>& args, ServiceCommandHost& host,
                      std::ostream& out, std::ostream& err) {
  if (args.empty() || !IsServiceCommand(args[0])) return Usage(err, "unknown command");
  const std::string& name = args[0];
  std::vector<std::string> operands;
  bool options_end = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!options_end && args[i] == "--") {
      options_end = true;
    } else if (!options_end && args[i].size() > 1 && args[i][0] == '-') {
      return Usage(err, "unknown option '" + Printable(args[i]) + "'");
    } else {
      operands.push_back(args[i]);
    }
  }
  const bool takes_file = name == "install" || name == "apply";
  if (name == "apply" && operands.size() != 1) return Usage(err, "apply takes one FILE");
  if (name == "install" && operands.size() > 1) return Usage(err, "install takes at most one FILE");
  if (!takes_file && !operands.empty()) return Usage(err, name + " takes no FILE");
  if (name == "status") return Status(host, out, err);

  ServicePaths paths = host.paths;
  ScratchCopy scratch;
  if (takes_file) {
    const std::string file = operands.empty() ? paths.profile : operands[0];
    // Without a usable home folder, the action says so itself.
    if (!file.empty()) {
      const CheckedConfiguration checked = CheckConfiguration(file);
      if (!checked.failure.empty()) return Refuse(checked.failure, err);
      for (const std::string& warning : checked.warnings) {
        err << "corvanectl: " << Printable(file) << ": warning: " << warning << "\n";
      }
      int error = 0;
      const std::optional<std::string> copy =
          scratch.Write(host.scratch_folder, checked.image, error);
      if (!copy) {
        return Refuse(Refused(file, std::string("no private copy could be written in \"") +
                                        host.scratch_folder + "\": " + std::strerror(error)),
                      err);
      }
      paths.profile = *copy;
    }
  }
  // corvanectl runs no proxy servers of its own and has no pages to store.
  ServiceControl control{host.manager, host.files, paths, [] {}, [] {}, host.sleep};
  if (name == "install") return Report(control.Install(), out, err);
  if (name == "apply") return Report(control.Apply(), out, err);
  if (name == "start") return Report(control.Start(), out, err);
  if (name == "stop") return Report(control.Stop(), out, err);
  return Report(control.Remove(), out, err);
}

}  // namespace corvane
