#include "cli/profile_tool.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "cli/profile_json.h"
#include "cli/profile_show.h"
#include "corvane_version.h"

namespace corvane {
namespace {

// The name that messages begin with: corvane-profile, or corvanectl running the same commands.
thread_local std::string_view program_name = "corvane-profile";

std::string HelpText() {
  const std::string service_file = ServiceProfilePath().value_or("CorvaneService.dat");
  return "Usage: corvane-profile show FILE\n"
         "       corvane-profile check [--service] FILE\n"
         "       corvane-profile export FILE\n"
         "       corvane-profile import JSON OUT\n"
         "       corvane-profile import --service JSON\n"
         "\n"
         "Shows, checks, exports and imports Corvane profiles (~/Corvane/profile.dat, and the\n"
         "service's " +
         service_file +
         ") with the reader and writer of the programs.\n"
         "\n"
         "  show FILE        every display option and every field of every proxy server\n"
         "  check FILE       what the desktop program's reader finds in FILE and every correction\n"
         "                   it makes; with --service, the service's reader. Exit status 0 valid,\n"
         "                   1 readable with corrections or warnings, 2 unreadable\n"
         "  export FILE      the profile as JSON on standard output\n"
         "  import JSON OUT  writes the profile described by JSON (- for standard input) to OUT;\n"
         "                   with --service, to the service's file, readable by root only\n"
         "  --help           this text\n"
         "  --version        the version\n"
         "\n"
         "See corvane-profile(1) and the JSON schema corvane-profile.schema.json.\n";
}

constexpr const char* kRestartHint =
    "Restart the service to use it: systemctl restart CorvaneService\n";

struct Command {
  std::string name;
  bool service = false;
  std::vector<std::string> operands;
};

int Usage(std::ostream& err, const std::string& problem) {
  err << program_name << ": " << problem << "\nTry '" << program_name << " --help'.\n";
  return 2;
}

// Writes `text` and reports a failed write (a full disk, a closed pipe) as an error.
int Emit(std::ostream& out, std::ostream& err, const std::string& text) {
  out << text;
  out.flush();
  if (!out) {
    err << program_name << ": cannot write to standard output\n";
    return 2;
  }
  return 0;
}

// Reads a file that show and export can work on: readable, and passing every check.
std::optional<ProfileDocument> ReadForOutput(const std::string& path, std::ostream& err) {
  const LoadedProfile loaded = LoadProfileDocument(path);
  if (!loaded.read()) {
    err << program_name << ": " << Printable(path) << ": " << loaded.error << "\n";
    return std::nullopt;
  }
  if (!loaded.passed) {
    err << program_name << ": " << Printable(path) << ": unreadable: "
        << Printable(loaded.report.failure ? Describe(*loaded.report.failure) : "")
        << "\n(see: " << program_name << " check " << Printable(path) << ")\n";
    return std::nullopt;
  }
  for (const ProfileReadNote& note : loaded.report.corrections) {
    err << program_name << ": " << Printable(path) << ": warning: ";
    if (note.proxy) err << "proxy server " << *note.proxy + 1 << ": ";
    err << Printable(Describe(note)) << "\n";
  }
  if (loaded.report.more_corrections != 0) {
    err << program_name << ": " << Printable(path)
        << ": warning: " << loaded.report.more_corrections << " further corrections\n";
  }
  return loaded.document;
}

int Show(const Command& command, std::ostream& out, std::ostream& err) {
  const std::optional<ProfileDocument> document = ReadForOutput(command.operands[0], err);
  if (!document) return 2;
  return Emit(out, err, ShowProfile(*document));
}

int Check(const Command& command, std::ostream& out, std::ostream& err) {
  const std::string& path = command.operands[0];
  const CheckResult result =
      CheckProfile(path, LoadProfileDocument(path),
                   command.service ? CheckRules::kService : CheckRules::kDesktop);
  const int written = Emit(out, err, result.text);
  return written != 0 ? written : result.status;
}

int Export(const Command& command, std::ostream& out, std::ostream& err) {
  const std::optional<ProfileDocument> document = ReadForOutput(command.operands[0], err);
  if (!document) return 2;
  const ExportedJson exported = ExportProfileJson(*document);
  if (!exported.problems.empty()) {
    for (const JsonProblem& problem : exported.problems) {
      err << program_name << ": " << Printable(command.operands[0]) << ": "
          << Printable(problem.Text()) << "\n";
    }
    return 2;
  }
  return Emit(out, err, exported.text);
}

std::optional<std::string> ReadJsonText(const std::string& path, std::istream& in,
                                        std::ostream& err) {
  if (path == "-") {
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      text.append(buffer, static_cast<std::size_t>(in.gcount()));
      if (text.size() > kMaxJsonSize) break;
    }
    if (in.bad()) {
      err << program_name << ": cannot read standard input\n";
      return std::nullopt;
    }
    return text;
  }
  errno = 0;
  const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path, kMaxJsonSize);
  if (!bytes) {
    err << program_name << ": " << Printable(path) << ": "
        << (errno != 0 ? std::strerror(errno) : "not a readable file of at most 128 MiB") << "\n";
    return std::nullopt;
  }
  return std::string(bytes->begin(), bytes->end());
}

int Import(const Command& command, std::istream& in, std::ostream& out, std::ostream& err) {
  const std::string& json_path = command.operands[0];
  std::string target;
  if (command.service) {
    const std::optional<std::string> service_path = ServiceProfilePath();
    if (!service_path) {
      err << program_name << ": the service's folder has no usable name\n";
      return 2;
    }
    target = *service_path;
  } else {
    target = command.operands[1];
  }
  const std::optional<std::string> text = ReadJsonText(json_path, in, err);
  if (!text) return 2;
  const ImportedJson imported = ImportProfileJson(*text);
  const std::string source = json_path == "-" ? "standard input" : Printable(json_path);
  if (!imported.problems.empty()) {
    for (const JsonProblem& problem : imported.problems) {
      err << program_name << ": " << source << ": " << Printable(problem.Text()) << "\n";
    }
    err << program_name << ": nothing was written\n";
    return 1;
  }
  const std::vector<std::uint8_t> image = WriteProfileDocument(imported.document, CurrentUtcTime());
  if (image.empty()) {
    err << program_name << ": " << source
        << ": the profile would be larger than 64 MiB; nothing was written\n";
    return 1;
  }
  errno = 0;
  if (WriteFileReplacing(target, image, 0600)) {
    err << program_name << ": cannot write " << Printable(target);
    if (errno != 0) err << ": " << std::strerror(errno);
    err << "\n";
    return 2;
  }
  std::string done =
      "Wrote " + Printable(target) + " (" + std::to_string(imported.document.Records.size()) +
      (imported.document.Records.size() == 1 ? " proxy server" : " proxy servers") + ").\n";
  if (command.service) done += kRestartHint;
  return Emit(out, err, done);
}

}  // namespace

int RunProfileTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err, std::string_view program) {
  program_name = program;
  if (args.empty()) return Usage(err, "missing command");
  if (args[0] == "--help" || args[0] == "-h") return Emit(out, err, HelpText());
  if (args[0] == "--version") {
    return Emit(out, err, std::string(program_name) + " " + kProgramVersion + "\n");
  }
  Command command;
  command.name = args[0];
  bool options_end = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_end && arg == "--") {
      options_end = true;
    } else if (!options_end && arg == "--service") {
      command.service = true;
    } else if (!options_end && (arg == "--help" || arg == "-h")) {
      return Emit(out, err, HelpText());
    } else if (!options_end && arg.size() > 1 && arg[0] == '-') {
      return Usage(err, "unknown option '" + Printable(arg) + "'");
    } else {
      command.operands.push_back(arg);
    }
  }
  const auto operands = [&](std::size_t count) { return command.operands.size() == count; };
  if (command.name == "show" || command.name == "export") {
    if (command.service) return Usage(err, "--service belongs to check and import");
    if (!operands(1)) return Usage(err, command.name + " takes one FILE");
    return command.name == "show" ? Show(command, out, err) : Export(command, out, err);
  }
  if (command.name == "check") {
    if (!operands(1)) return Usage(err, "check takes one FILE");
    return Check(command, out, err);
  }
  if (command.name == "import") {
    if (!operands(command.service ? 1 : 2)) {
      return Usage(
          err, command.service ? "import --service takes one JSON" : "import takes JSON and OUT");
    }
    return Import(command, in, out, err);
  }
  return Usage(err, "unknown command '" + Printable(command.name) + "'");
}

}  // namespace corvane
