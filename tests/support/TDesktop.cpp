#include "support/TDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/TProcess.h"

extern char **environ;

namespace {
bool Have(const char *Tool) { return std::system((std::string("command -v ") + Tool + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quote(const std::string &S) {
  std::string Q = "'";
  for (char C : S) Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Q + "'";
}
}  // namespace

TDesktop::TDesktop() {
  if (!Have("Xvfb") || !Have("xdotool")) {
    FError = "Xvfb or xdotool is missing (scripts/deps.sh installs them)";
    return;
  }
  int Fds[2];
  if (::pipe(Fds) != 0) {
    FError = "no pipe for Xvfb";
    return;
  }
  // Xvfb picks a free display and names it on descriptor 3.
  posix_spawn_file_actions_t Acts;
  posix_spawn_file_actions_init(&Acts);
  posix_spawn_file_actions_adddup2(&Acts, Fds[1], 3);
  posix_spawn_file_actions_addopen(&Acts, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&Acts, 2, "/dev/null", O_WRONLY, 0);
  const char *Argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr};
  pid_t Pid = -1;
  int Rc = posix_spawnp(&Pid, "Xvfb", &Acts, nullptr, const_cast<char **>(Argv), environ);
  posix_spawn_file_actions_destroy(&Acts);
  ::close(Fds[1]);
  if (Rc != 0) {
    ::close(Fds[0]);
    FError = "Xvfb could not be started";
    return;
  }
  std::string Got;
  pollfd P{Fds[0], POLLIN, 0};
  while (Got.find('\n') == std::string::npos && ::poll(&P, 1, 30000) > 0) {
    char Buf[32];
    ssize_t N = ::read(Fds[0], Buf, sizeof Buf);
    if (N <= 0) break;
    Got.append(Buf, static_cast<size_t>(N));
  }
  ::close(Fds[0]);
  if (Got.find('\n') == std::string::npos) {
    ::kill(Pid, SIGKILL);
    ::waitpid(Pid, nullptr, 0);
    FError = "Xvfb named no display within 30 s";
    return;
  }
  FPid = Pid;
  FDisplay = ":" + Got.substr(0, Got.find('\n'));
}

TDesktop::~TDesktop() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  ::waitpid(FPid, nullptr, 0);
}

std::string TDesktop::Xdo(const std::vector<std::string> &Args, bool *Ok) const {
  std::string Cmd = "DISPLAY=" + FDisplay + " xdotool";
  for (const auto &A : Args) Cmd += " " + Quote(A);
  Cmd += " 2>/dev/null";
  std::string Out;
  if (FILE *F = ::popen(Cmd.c_str(), "r")) {
    char Buf[256];
    size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0) Out.append(Buf, N);
    int St = ::pclose(F);
    if (Ok) *Ok = St == 0;
  } else if (Ok) {
    *Ok = false;
  }
  while (!Out.empty() && (Out.back() == '\n' || Out.back() == ' ')) Out.pop_back();
  return Out;
}

std::string TDesktop::WaitWindow(const std::string &Title, int Ms) const {
  std::string Id;
  WaitFor(
      [&] {
        bool Ok = false;
        std::string Out = Xdo({"search", "--onlyvisible", "--name", "^" + Title + "$"}, &Ok);
        Id = Ok ? Out.substr(0, Out.find('\n')) : std::string();
        return !Id.empty();
      },
      Ms);
  return Id;
}

bool TDesktop::WaitNoWindow(const std::string &Title, int Ms) const {
  return WaitFor(
      [&] {
        bool Ok = false;
        Xdo({"search", "--onlyvisible", "--name", "^" + Title + "$"}, &Ok);
        return !Ok;
      },
      Ms);
}

void TDesktop::Keys(const std::string &Window, const std::vector<std::string> &Keys) const {
  Xdo({"windowfocus", "--sync", Window});
  std::vector<std::string> Args = {"key", "--delay", "80"};
  Args.insert(Args.end(), Keys.begin(), Keys.end());
  Xdo(Args);
}

void TDesktop::Type(const std::string &Window, const std::string &Text) const {
  Xdo({"windowfocus", "--sync", Window});
  Xdo({"type", "--delay", "40", Text});
}

bool TDesktop::Close(const std::string &Window) const {
  xcb_connection_t *C = xcb_connect(FDisplay.c_str(), nullptr);
  if (xcb_connection_has_error(C)) {
    xcb_disconnect(C);
    return false;
  }
  auto Atom = [C](const char *Name) {
    xcb_intern_atom_reply_t *R =
        xcb_intern_atom_reply(C, xcb_intern_atom(C, 0, static_cast<uint16_t>(std::strlen(Name)), Name), nullptr);
    xcb_atom_t A = R ? R->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(R);
    return A;
  };
  xcb_client_message_event_t E{};
  E.response_type = XCB_CLIENT_MESSAGE;
  E.format = 32;
  E.window = static_cast<xcb_window_t>(std::stoul(Window));
  E.type = Atom("WM_PROTOCOLS");
  E.data.data32[0] = Atom("WM_DELETE_WINDOW");
  E.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(C, 0, E.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&E));
  const bool Ok = xcb_flush(C) > 0 && E.type != XCB_ATOM_NONE;
  xcb_disconnect(C);
  return Ok;
}
