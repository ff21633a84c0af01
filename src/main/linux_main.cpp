// The Linux desktop program: brings up the GTK platform and hands over to the
// program's entry.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/settings.h"
#include "base/text.h"
#include "platform/gtk/gtk_platform.h"
#include "viewer/viewer_app.h"

namespace {

std::u16string ProgramPath(const char* fallback) {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
  return n > 0 && static_cast<size_t>(n) < sizeof(buffer) ? vt::Utf8ToUtf16(std::string(buffer, size_t(n)))
                                                          : vt::Utf8ToUtf16(fallback ? fallback : "");
}

// The arguments as one command line in the form the program's scanner reads:
// the program's own name first (it skips that), then each argument, quoted
// when it holds a blank. The scanner has no escape for a double quote, so an
// argument containing one cannot be carried exactly.
std::u16string CommandLineOf(int argc, char** argv) {
  std::u16string line = u"vistrel.exe";
  for (int i = 1; i < argc; ++i) {
    const std::u16string argument = vt::Utf8ToUtf16(argv[i]);
    line += u' ';
    if (argument.find_first_of(u" \t") != std::u16string::npos)
      line += u'"' + argument + u'"';
    else
      line += argument;
  }
  return line;
}

// "--help" and "--version" are answered on the terminal, without a display.
bool AnswerInformationRequest(const std::u16string& commandLine, const char* name) {
  std::u16string text;
  switch (vt::FindInformationRequest(vt::SplitCommandLine(commandLine))) {
    case vt::InformationRequest::kNone: return false;
    case vt::InformationRequest::kUsage: {
      std::string program = name && *name ? name : "vistrel-gtk";
      program.erase(0, program.find_last_of('/') + 1);
      text = vt::UsageText(vt::Utf8ToUtf16(program));
      break;
    }
    case vt::InformationRequest::kVersion:
      text = u"Vistrel ";
      text += vt::Settings::kVersion;
      text += u'\n';
      break;
  }
  const std::string out = vt::Utf16ToUtf8(text);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  vt::PrepareGtkStart();
  const std::u16string given = CommandLineOf(argc, argv);
  if (AnswerInformationRequest(given, argc > 0 ? argv[0] : nullptr)) return std::fflush(stdout) == 0 ? 0 : 1;

  // The image starts decoding while the desktop's toolkit starts, unless a
  // running instance will be handed the command line.
  vt::ProgramEnvironment env;
  if (!vt::GtkInstanceRunning()) env.cache = vt::BeginStartupLoad(given);

  auto platform = vt::CreateGtkPlatform(&argc, &argv);
  if (!platform) {
    std::fprintf(stderr, "vistrel: cannot open the X display\n");
    return 1;
  }
  env.programPath = ProgramPath(argc > 0 ? argv[0] : nullptr);
  // The toolkit has taken its own options out of the arguments.
  env.commandLine = CommandLineOf(argc, argv);
  return vt::RunProgram(*platform, env);
}
