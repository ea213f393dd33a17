// What the hostile-input and fault suites share: the state of a file (a copy
// of its bytes, its size and modification time), tolk-critica run in a child process
// under a time limit (and, when asked, a file-size limit or an unprivileged
// user), and a child process that holds a lock on a file.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tolk::hostile {

// ---- File state -------------------------------------------------------------------

struct FileState {
  bool exists = false;
  bool regular = false;
  std::string bytes;  // a regular file's whole content
  std::int64_t size = 0;
  std::int64_t mtimeSec = 0, mtimeNsec = 0;
  bool operator==(const FileState&) const = default;
};

inline FileState StateOf(const std::string& path) {
  FileState s;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.regular = S_ISREG(st.st_mode);
  s.size = st.st_size;
  s.mtimeSec = st.st_mtim.tv_sec;
  s.mtimeNsec = st.st_mtim.tv_nsec;
  if (s.regular) {
    std::ifstream in(path, std::ios::binary);
    s.bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  return s;
}

inline std::ostream& operator<<(std::ostream& o, const FileState& s) {
  if (!s.exists) return o << "(absent)";
  return o << (s.regular ? "" : "(not regular) ") << s.size << " bytes, mtime " << s.mtimeSec << "."
           << s.mtimeNsec << ", content hash " << std::hash<std::string>{}(s.bytes);
}

// Every entry of a folder (not below it) by name.
inline std::map<std::string, FileState> StateOfFolder(const std::string& dir) {
  std::map<std::string, FileState> m;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    m[e.path().filename().string()] = StateOf(e.path().string());
  return m;
}

// ---- Programs in a child process -------------------------------------------------------

inline std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}
inline std::string BinDir() { return Env("TOLK_BIN_DIR", TOLK_BIN_DIR_DEFAULT); }
inline std::string SamplesDir() { return Env("TOLK_SAMPLES_DIR", TOLK_SAMPLES_DIR_DEFAULT); }

// The user a root test drops to when a permission must really be refused.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// In a child: become an unprivileged user when running as root. False when
// that failed.
inline bool DropPrivileges() {
  if (::geteuid() != 0) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNoGroup) == 0 && ::setuid(kNobody) == 0 &&
         ::geteuid() != 0;
}

// Folders and files the unprivileged user must reach.
inline void OpenToOthers(const std::string& path, bool folder) {
  ::chmod(path.c_str(), folder ? 0755 : 0644);
}

struct Limits {
  int seconds = 60;                // then the child is killed and the run counts as hung
  std::optional<rlim_t> fileSize;  // RLIMIT_FSIZE; SIGXFSZ at its default action
  bool unprivileged = false;       // as root: run as nobody
  std::string stdoutTo;            // a file for standard output instead of the pipe
};

inline Limits Unprivileged() {
  Limits l;
  l.unprivileged = true;
  return l;
}
inline Limits FilesUpTo(rlim_t bytes) {
  Limits l;
  l.fileSize = bytes;
  return l;
}

// Exit codes of the child itself, apart from the program's own 0, 1 and 2.
constexpr int kCannotDrop = 124;
constexpr int kCannotExec = 125;

struct Outcome {
  int status = -1;    // exit status; -1 when killed by a signal
  int signal = 0;     // the signal that ended it, if any
  bool hung = false;  // killed at the time limit
  std::string out, err;
};

// Runs `program` with `args`, standard input from /dev/null, both outputs
// collected, under `limits`.
inline Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const Limits& limits = {}) {
  int out[2], err[2];
  Outcome r;
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return r;
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  std::string prog = program;
  argv.push_back(prog.data());
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int to = limits.stdoutTo.empty()
                       ? out[1]
                       : ::open(limits.stdoutTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(to, 1);
    ::dup2(err[1], 2);
    const int devnull = ::open("/dev/null", O_RDONLY);
    ::dup2(devnull, 0);
    if (limits.fileSize) {
      // SIGXFSZ keeps its default action: the program must ignore it itself.
      ::signal(SIGXFSZ, SIG_DFL);
      rlimit lim{*limits.fileSize, *limits.fileSize};
      ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    if (limits.unprivileged && !DropPrivileges()) ::_exit(kCannotDrop);
    ::execv(prog.c_str(), argv.data());
    ::_exit(kCannotExec);
  }
  ::close(out[1]);
  ::close(err[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  char buf[65536];
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      r.hung = true;
      ::kill(pid, SIGKILL);
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (auto& fd : fds) {
      if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fd.fd, buf, sizeof buf);
      if (n <= 0) {
        ::close(fd.fd);
        fd.fd = -1;
        --open;
      } else {
        (&fd == &fds[0] ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
      }
    }
  }
  for (auto& fd : fds)
    if (fd.fd >= 0) ::close(fd.fd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  return r;
}

inline Outcome RunCritica(const std::vector<std::string>& args, const Limits& limits = {}) {
  return RunProgram(BinDir() + "/tolk-critica", args, limits);
}

// ---- A lock held by another process ------------------------------------------------------

// A child process that opens `path` and holds flock(`operation`) on it until
// this object goes, as another program reading the table would.
class LockHolder {
 public:
  // For `operation`: a write lock over the whole file taken with fcntl, as
  // many programs lock, instead of flock.
  static constexpr int kFcntlWrite = 0x10000;

  LockHolder(const std::string& path, int operation) {
    int ready[2];
    if (::pipe(ready) != 0 || ::pipe(release_) != 0) return;
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      char c = 'n';
      if (operation == kFcntlWrite) {
        const int fd = ::open(path.c_str(), O_RDWR);
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        c = fd >= 0 && ::fcntl(fd, F_SETLK, &whole) == 0 ? 'y' : 'n';
      } else {
        const int fd = ::open(path.c_str(), O_RDONLY);
        c = fd >= 0 && ::flock(fd, operation | LOCK_NB) == 0 ? 'y' : 'n';
      }
      (void)!::write(ready[1], &c, 1);
      (void)!::read(release_[0], &c, 1);
      ::_exit(0);
    }
    char c = 'n';
    holding_ = ::read(ready[0], &c, 1) == 1 && c == 'y';
    ::close(ready[0]);
    ::close(ready[1]);
  }
  ~LockHolder() {
    if (pid_ > 0) {
      (void)!::write(release_[1], "x", 1);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(release_[0]);
    ::close(release_[1]);
  }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  bool Holding() const { return holding_; }

 private:
  pid_t pid_ = -1;
  int release_[2] = {-1, -1};
  bool holding_ = false;
};

}  // namespace tolk::hostile
