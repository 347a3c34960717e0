#include "chromium/browser.hpp"

#include "chromium/fd.hpp"
#include "chromium/websocket_transport.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <string_view>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillfen::chromium {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* DEBIAN_CHROMIUM = "/usr/lib/chromium/chromium";
// Pipe ends are moved to at least this number, so that placing them on 3 and 4 in the
// child never overwrites another end.
constexpr int FIRST_HIGH_FD = 10;
// The browser makes sockets at TMPDIR/org.chromium.Chromium.XXXXXX/SingletonSocket.
constexpr std::size_t MAX_BROWSER_TMP_PATH = 107 - 45;
// How long a Browser object that goes waits for downloads under way to land.
constexpr auto DOWNLOADS_SETTLE = 10s;
// The time-out of each command that closes what was opened in a connected browser.
constexpr auto CLEANUP_TIMEOUT = 5000ms;

bool is_executable_file(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

UniqueFd high_fd(int fd) {
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, FIRST_HIGH_FD);
  ::close(fd);
  if (moved < 0) {
    throw LaunchError(std::string("Could not prepare the browser pipe: ") + std::strerror(errno) + ".");
  }
  return UniqueFd(moved);
}

struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

Pipe make_pipe() {
  int fds[2];
  if (::pipe(fds) != 0) {
    throw LaunchError(std::string("Could not create a pipe for the browser: ") + std::strerror(errno) + ".");
  }
  UniqueFd read = high_fd(fds[0]);
  UniqueFd write = high_fd(fds[1]);
  return {std::move(read), std::move(write)};
}

fs::path make_profile_dir() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  std::string pattern = ((error ? fs::path("/tmp") : base) / "quillfen-chromium-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw LaunchError("Could not create a temporary browser profile in " + pattern.substr(0, pattern.size() - 24) +
                      ": " + std::strerror(errno) + ".");
  }
  return pattern;
}

// The browser keeps its singleton socket in a directory of its own under TMPDIR, which
// the profile's SingletonSocket link points into; it is outside the profile when the
// profile's path was too long to hold the browser's temporary files.
void remove_socket_dir(const fs::path& profile) {
  std::error_code error;
  const fs::path socket = fs::read_symlink(profile / "SingletonSocket", error);
  if (error) {
    return;
  }
  const fs::path dir = socket.parent_path();
  if (socket.filename() == "SingletonSocket" && dir.filename().string().rfind("org.chromium.", 0) == 0) {
    fs::remove_all(dir, error);
  }
}

void remove_profile(const fs::path& profile) {
  remove_socket_dir(profile);
  // A browser process that is still dying may write one last file: try again briefly.
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::error_code error;
    fs::remove_all(profile, error);
    if (!fs::exists(profile, error)) {
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
}

// Waits up to `limit` for `pid` to end; true when it was reaped.
bool reap(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (true) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) {
      return true;
    }
    if (Clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
}

// Waits up to `limit` for `pid` to exit and gives its status; false when it still runs.
bool wait_exit(pid_t pid, std::chrono::milliseconds limit, int& status) {
  const auto deadline = Clock::now() + limit;
  while (::waitpid(pid, &status, WNOHANG) != pid) {
    if (Clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

std::vector<char*> argv_of(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (auto& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  return argv;
}

// Kills every process whose command line names the profile: the browser's process
// group, and the crash handlers, which leave the group to run as daemons.
// Sends SIGKILL to every live process whose command line names the profile and returns
// how many there were; a process that already died (a zombie) does not count.
int signal_profile_processes(const fs::path& profile) {
  std::error_code error;
  const std::string needle = profile.string();
  int signalled = 0;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    // Processes end while the list is read: whatever cannot be read is passed over.
    const std::string command_line = read_file_or_empty(entry.path() / "cmdline");
    if (command_line.find(needle) == std::string::npos) {
      continue;
    }
    const std::string stat = read_file_or_empty(entry.path() / "stat");
    const auto close = stat.rfind(')');
    if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z') {
      continue;
    }
    ::kill(std::stoi(name), SIGKILL);
    ++signalled;
  }
  return signalled;
}

// Kills the helpers that left the browser's process group (such as the crash handler),
// found by the profile on their command line, and waits briefly until they are gone, so
// that nothing outlives the browser object.
void kill_profile_processes(const fs::path& profile) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
  while (signal_profile_processes(profile) > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void default_child_signals() {
  sigset_t all;
  sigemptyset(&all);
  ::sigprocmask(SIG_SETMASK, &all, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
}

// Starts the guardian: a shell that waits until this process's end of `pipe` closes,
// which happens however this process ends, then kills the browser's process group and
// removes its profile. Returns its pid, or none when it could not start (cleaning up
// then rests on the destructor alone).
std::optional<pid_t> start_guardian(pid_t browser_group, const fs::path& profile, UniqueFd read_end,
                                    int devnull) {
  std::vector<std::string> args{"/bin/sh", "-c", "cat >/dev/null; kill -9 -\"$1\" 2>/dev/null; "
                                "for f in $(grep -laF -- \"$2\" /proc/[0-9]*/cmdline 2>/dev/null); do "
                                "p=${f#/proc/}; p=${p%/cmdline}; [ \"$p\" != $$ ] && kill -9 \"$p\" 2>/dev/null; "
                                "done; s=$(readlink \"$2/SingletonSocket\") && case \"$s\" in */org.chromium.*/SingletonSocket) "
                                "rm -rf \"${s%/SingletonSocket}\";; esac; rm -rf \"$2\"",
                                "quillfen-guardian", std::to_string(browser_group), profile.string()};
  auto argv = argv_of(args);
  const pid_t pid = ::fork();
  if (pid < 0) {
    return std::nullopt;
  }
  if (pid == 0) {
    // Its own process group, deaf to the signals that end this process, so that it
    // outlives a Ctrl-C or a kill of the whole job.
    ::setpgid(0, 0);
    default_child_signals();
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
      ::signal(sig, SIG_IGN);
    }
    ::dup2(read_end.get(), 0);
    ::dup2(devnull, 1);
    ::dup2(devnull, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// Opens a blank tab in a context ("" for the default one) and attaches to it.
std::unique_ptr<ChromiumPage> open_tab(const std::shared_ptr<Connection>& connection, const std::string& context_id,
                                       std::chrono::milliseconds timeout) {
  // Each tab in a window of its own: a tab behind another is hidden, and a hidden page
  // draws no frames and takes mouse moves only with the next frame.
  Json params{{"url", "about:blank"}, {"newWindow", true}};
  if (!context_id.empty()) {
    params["browserContextId"] = context_id;
  }
  const Json target = connection->call("", "Target.createTarget", params, timeout);
  const std::string target_id = target.at("targetId").get<std::string>();
  const Json attached =
      connection->call("", "Target.attachToTarget", {{"targetId", target_id}, {"flatten", true}}, timeout);
  return std::make_unique<ChromiumPage>(connection, target_id, attached.at("sessionId").get<std::string>(), timeout);
}

std::chrono::milliseconds until(Clock::time_point deadline) {
  return std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()), 1ms);
}

}  // namespace

struct Browser::Opened {
  // The browser's root session, where the download events arrive.
  std::shared_ptr<Session> root;
  // Tabs opened in the default context.
  std::set<std::string> targets;
  // Contexts not yet disposed of.
  std::set<std::string> contexts;
  // Downloads may land somewhere, and those begun and not yet finished, by their guid.
  bool downloads_allowed = false;
  std::set<std::string> downloads;
};

namespace {

// Notes the downloads that began or ended in the events queued on the root session, and
// lets the root's other events go, so that its queue stays short.
void note_downloads(Browser::Opened& opened) {
  for (const Event& event : opened.root->take_events()) {
    if (event.method == "Browser.downloadWillBegin") {
      opened.downloads.insert(event.params.value("guid", std::string()));
    } else if (event.method == "Browser.downloadProgress" &&
               event.params.value("state", std::string()) != "inProgress") {
      opened.downloads.erase(event.params.value("guid", std::string()));
    }
  }
}

// Waits up to DOWNLOADS_SETTLE for the downloads under way to finish: a download still
// running when its context or browser goes is cancelled, leaving a partial file.
void settle_downloads(Browser::Opened& opened) {
  if (!opened.downloads_allowed) {
    return;
  }
  try {
    // A round trip first: its answer comes after every event the browser sent before it,
    // so no download that has begun is missed.
    const auto deadline = Clock::now() + DOWNLOADS_SETTLE;
    opened.root->send("Browser.getVersion", Json::object(), DOWNLOADS_SETTLE);
    opened.root->wait_until(
        [&opened] {
          note_downloads(opened);
          return opened.downloads.empty();
        },
        deadline);
  } catch (const PageError&) {
    // The browser is gone, and its downloads with it.
  }
}

}  // namespace

fs::path find_chromium(const std::optional<fs::path>& executable) {
  if (executable) {
    if (!is_executable_file(*executable)) {
      throw LaunchError("The browser " + executable->string() + " does not exist or is not executable.");
    }
    return *executable;
  }
  if (const char* env = std::getenv("QUILLFEN_CHROMIUM"); env != nullptr && *env != '\0') {
    if (!is_executable_file(env)) {
      throw LaunchError(std::string("The browser named by QUILLFEN_CHROMIUM (") + env +
                        ") does not exist or is not executable.");
    }
    return env;
  }
  if (is_executable_file(DEBIAN_CHROMIUM)) {
    return DEBIAN_CHROMIUM;
  }
  if (const char* path = std::getenv("PATH"); path != nullptr) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      const fs::path candidate = fs::path(dir.empty() ? "." : dir) / "chromium";
      if (is_executable_file(candidate)) {
        return candidate;
      }
    }
  }
  throw LaunchError("Chromium was not found: install the chromium package or set QUILLFEN_CHROMIUM.");
}

struct Browser::Process {
  pid_t pid = -1;
  bool reaped = false;
  std::optional<pid_t> guardian;
  UniqueFd guardian_pipe;
  fs::path profile;

  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  ~Process() {
    // This destructor does the guardian's work itself.
    if (guardian) {
      ::kill(*guardian, SIGKILL);
      reap(*guardian, 1000ms);
    }
    if (pid > 0) {
      // The browser's helpers share its process group, also after it died itself.
      ::kill(-pid, SIGKILL);
      if (!reaped) {
        ::kill(pid, SIGKILL);
        reap(pid, 5000ms);
      }
    }
    if (!profile.empty()) {
      kill_profile_processes(profile);
      remove_profile(profile);
    }
  }
};

std::unique_ptr<Browser> Browser::launch(const LaunchOptions& options) {
  const fs::path executable = find_chromium(options.executable);
  if (!options.headless && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    throw LaunchError("a headed browser needs a display, and neither DISPLAY nor WAYLAND_DISPLAY is set");
  }
  // A browser that dies makes writes to its pipe fail with EPIPE instead of killing
  // this process.
  ::signal(SIGPIPE, SIG_IGN);
  auto process = std::make_unique<Process>();
  process->profile = make_profile_dir();

  std::vector<std::string> args{executable.string(),
                                "--remote-debugging-pipe",
                                "--user-data-dir=" + process->profile.string(),
                                "--no-startup-window",
                                "--no-first-run",
                                "--no-default-browser-check",
                                "--disable-background-networking",
                                "--disable-component-update",
                                "--disable-sync",
                                "--disable-breakpad",
                                "--disable-crash-reporter",
                                "--disable-gpu",
                                "--disable-dev-shm-usage",
                                "--disable-extensions",
                                "--hide-scrollbars",
                                "--mute-audio",
                                "--password-store=basic",
                                // A page's first reads make a great deal of short-lived
                                // garbage; with V8's default start, a page of 130,000
                                // elements gets major collections in the middle of its
                                // first check (0.2 to 0.4 s). The old generation may grow
                                // to 512 MiB before its first one instead: on that page
                                // the renderer's peak memory grew by 5%.
                                "--js-flags=--initial-old-space-size=512",
                                "--window-size=" + std::to_string(options.window_width) + "," +
                                    std::to_string(options.window_height)};
  if (options.headless) {
    args.emplace_back("--headless");
  }
  // Chromium refuses to start as root with its sandbox.
  const bool without_sandbox = ::geteuid() == 0;
  if (without_sandbox) {
    args.emplace_back("--no-sandbox");
  }
  args.insert(args.end(), options.extra_arguments.begin(), options.extra_arguments.end());
  auto argv = argv_of(args);
  // Nothing the browser writes lands in the user's folders: its home (where caches,
  // settings and the default downloads folder live) is a folder of the profile, and its
  // desktop settings stay in memory. Crash reports go into the profile too, and the
  // crash handler's command line then names the profile, which is how it is found at
  // the end.
  constexpr std::array<std::string_view, 7> replaced{"BREAKPAD_DUMP_LOCATION=", "HOME=", "XDG_CONFIG_HOME=",
                                                     "XDG_CACHE_HOME=", "XDG_DATA_HOME=", "XDG_STATE_HOME=",
                                                     "GSETTINGS_BACKEND="};
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view v(*variable);
    if (std::none_of(replaced.begin(), replaced.end(), [v](std::string_view name) { return v.rfind(name, 0) == 0; })) {
      environment.emplace_back(v);
    }
  }
  const fs::path home = process->profile / "home";
  std::error_code home_error;
  fs::create_directory(home, home_error);
  environment.push_back("HOME=" + home.string());
  environment.push_back("GSETTINGS_BACKEND=memory");
  environment.push_back("BREAKPAD_DUMP_LOCATION=" + (process->profile / "crashes").string());
  // Its temporary files (shared memory, the singleton socket's directory) go into the
  // profile too, when the path leaves room for a socket name (108 bytes at most).
  const fs::path browser_tmp = process->profile / "t";
  std::error_code tmp_error;
  if (browser_tmp.string().size() <= MAX_BROWSER_TMP_PATH && fs::create_directory(browser_tmp, tmp_error)) {
    std::erase_if(environment, [](const std::string& v) { return v.rfind("TMPDIR=", 0) == 0; });
    environment.push_back("TMPDIR=" + browser_tmp.string());
  }
  auto envp = argv_of(environment);

  Pipe commands = make_pipe();
  Pipe replies = make_pipe();
  Pipe exec_status = make_pipe();
  UniqueFd devnull = high_fd(::open("/dev/null", O_RDWR | O_CLOEXEC));
  UniqueFd log = high_fd(::open((process->profile / "chromium.log").c_str(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));

  const pid_t pid = ::fork();
  if (pid < 0) {
    throw LaunchError(std::string("Could not start the browser: ") + std::strerror(errno) + ".");
  }
  if (pid == 0) {
    ::setpgid(0, 0);
    default_child_signals();
    ::dup2(devnull.get(), 0);
    ::dup2(devnull.get(), 1);
    ::dup2(log.valid() ? log.get() : devnull.get(), 2);
    ::dup2(commands.read.get(), 3);
    ::dup2(replies.write.get(), 4);
    ::execve(argv[0], argv.data(), envp.data());
    const int error = errno;
    [[maybe_unused]] const auto written = ::write(exec_status.write.get(), &error, sizeof error);
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  process->pid = pid;
  commands.read.reset();
  replies.write.reset();
  exec_status.write.reset();

  int exec_error = 0;
  ssize_t n = 0;
  do {
    n = ::read(exec_status.read.get(), &exec_error, sizeof exec_error);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof exec_error)) {
    throw LaunchError("Could not start the browser " + executable.string() + ": " + std::strerror(exec_error) + ".");
  }

  Pipe guardian = make_pipe();
  process->guardian = start_guardian(pid, process->profile, std::move(guardian.read), devnull.get());
  process->guardian_pipe = std::move(guardian.write);

  auto connection = std::make_shared<Connection>(
      std::make_unique<PipeTransport>(std::move(commands.write), std::move(replies.read)));
  Json version;
  try {
    version = connection->call("", "Browser.getVersion", Json::object(), options.startup_timeout);
  } catch (const PageError&) {
    int status = 0;
    if (wait_exit(pid, 500ms, status)) {
      process->reaped = true;
      throw LaunchError("The browser " + executable.string() + " exited during start-up" +
                        (WIFEXITED(status) ? " with status " + std::to_string(WEXITSTATUS(status)) : "") + ".");
    }
    throw LaunchError("The browser " + executable.string() + " did not start within " +
                      std::to_string(options.startup_timeout.count()) + " ms.");
  }
  auto browser = std::unique_ptr<Browser>(
      new Browser(std::move(process), std::move(connection), options.command_timeout, options.downloads));
  browser->version_ = version.value("product", std::string());
  browser->without_sandbox_ = without_sandbox;
  try {
    browser->set_downloads("");
  } catch (const PageError& e) {
    throw LaunchError("The browser " + executable.string() + " refused the download settings: " + e.what());
  }
  browser->default_downloads_set_ = true;
  return browser;
}

std::unique_ptr<Browser> Browser::connect(const ConnectOptions& options) {
  const auto deadline = Clock::now() + options.connect_timeout;
  const Endpoint given = parse_endpoint(options.endpoint);
  const Endpoint websocket = browser_websocket(given, deadline);
  if (websocket.target.rfind("/devtools/page/", 0) == 0) {
    throw ConnectError("The browser endpoint " + given.text +
                       " is a tab's DevTools endpoint, not the browser's; use ws://HOST:PORT/devtools/browser/ID "
                       "or http://HOST:PORT.");
  }
  auto connection = std::make_shared<Connection>(WebSocketTransport::open(websocket, deadline));
  Json version;
  try {
    version = connection->call("", "Browser.getVersion", Json::object(), until(deadline));
  } catch (const PageError& e) {
    throw ConnectError("The browser endpoint " + given.text + " does not answer as a browser: " + e.what());
  }
  auto browser =
      std::unique_ptr<Browser>(new Browser(nullptr, std::move(connection), options.command_timeout, options.downloads));
  browser->version_ = version.value("product", std::string());
  return browser;
}

Browser::Browser(std::unique_ptr<Process> process, std::shared_ptr<Connection> connection,
                 std::chrono::milliseconds command_timeout, std::optional<fs::path> downloads)
    : process_(std::move(process)),
      connection_(std::move(connection)),
      root_(std::make_shared<Session>(connection_, "", command_timeout)),
      command_timeout_(command_timeout),
      downloads_(std::move(downloads)),
      opened_(std::make_shared<Opened>()) {
  opened_->root = root_;
  opened_->downloads_allowed = downloads_.has_value();
}

Browser::~Browser() {
  settle_downloads(*opened_);
  if (!launched()) {
    close_what_was_opened();
  }
  // Pages that outlive the browser fail their calls from here on.
  connection_->close();
}

void Browser::set_downloads(const std::string& context_id) {
  Json params = downloads_ ? Json{{"behavior", "allow"}, {"downloadPath", downloads_->string()}, {"eventsEnabled", true}}
                           : Json{{"behavior", "deny"}};
  if (!context_id.empty()) {
    params["browserContextId"] = context_id;
  }
  root_->send("Browser.setDownloadBehavior", params);
}

void Browser::close_what_was_opened() {
  const auto timeout = std::min(command_timeout_, std::chrono::milliseconds(CLEANUP_TIMEOUT));
  // A browser that stopped answering fails each of these at once or after the time-out.
  const auto attempt = [&](const std::string& method, const Json& params) {
    try {
      return connection_->call("", method, params, timeout);
    } catch (const PageError&) {
      return Json();
    }
  };
  for (const auto& context : std::exchange(opened_->contexts, {})) {
    attempt("Target.disposeBrowserContext", {{"browserContextId", context}});
  }
  if (!opened_->targets.empty()) {
    const Json listed = attempt("Target.getTargets", Json::object());
    for (const auto& info : listed.value("targetInfos", Json::array())) {
      const std::string id = info.value("targetId", std::string());
      if (opened_->targets.count(id) != 0) {
        attempt("Target.closeTarget", {{"targetId", id}});
      }
    }
  }
  if (default_downloads_set_) {
    attempt("Browser.setDownloadBehavior", {{"behavior", "default"}});
  }
}

std::unique_ptr<ChromiumPage> Browser::new_page() {
  note_downloads(*opened_);
  if (!default_downloads_set_) {
    set_downloads("");
    default_downloads_set_ = true;
  }
  auto page = open_tab(connection_, "", command_timeout_);
  if (!launched()) {
    opened_->targets.insert(page->target_id());
  }
  return page;
}

std::unique_ptr<BrowserContext> Browser::new_context() {
  note_downloads(*opened_);
  // A connected browser disposes of the context by itself if this connection drops.
  const Json created = root_->send("Target.createBrowserContext", {{"disposeOnDetach", true}});
  const std::string id = created.at("browserContextId").get<std::string>();
  opened_->contexts.insert(id);
  auto context = std::unique_ptr<BrowserContext>(new BrowserContext(connection_, id, command_timeout_, opened_));
  set_downloads(id);
  return context;
}

BrowserContext::BrowserContext(std::shared_ptr<Connection> connection, std::string id,
                               std::chrono::milliseconds command_timeout, std::shared_ptr<Browser::Opened> opened)
    : connection_(std::move(connection)),
      id_(std::move(id)),
      command_timeout_(command_timeout),
      opened_(std::move(opened)) {}

BrowserContext::~BrowserContext() {
  // A Browser object that went first has disposed of it already.
  if (opened_->contexts.erase(id_) == 0) {
    return;
  }
  settle_downloads(*opened_);
  try {
    connection_->call("", "Target.disposeBrowserContext", {{"browserContextId", id_}},
                      std::min(command_timeout_, std::chrono::milliseconds(CLEANUP_TIMEOUT)));
  } catch (const PageError&) {
    // The browser is gone, and the context with it.
  }
}

std::unique_ptr<ChromiumPage> BrowserContext::new_page() { return open_tab(connection_, id_, command_timeout_); }

int Browser::pid() const { return process_ ? process_->pid : -1; }

const fs::path& Browser::profile_dir() const {
  static const fs::path none;
  return process_ ? process_->profile : none;
}

}  // namespace quillfen::chromium
