#include "profkit/cli/atomic_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kit {
namespace {

// Temporary files not yet committed, for the signal handler: fixed storage,
// since the handler may neither allocate nor lock.
constexpr int k_slots = 4;
constexpr std::size_t k_name_capacity = 4096;
char g_pending[k_slots][k_name_capacity];
volatile sig_atomic_t g_used[k_slots];

constexpr int k_signals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_pending_and_reraise(int signal_number) {
  for (int i = 0; i < k_slots; ++i) {
    if (g_used[i]) ::unlink(g_pending[i]);
  }
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(signal_number, &action, nullptr);
  ::raise(signal_number);
}

// Installs the handler once, except for signals the caller chose to ignore.
void install_handler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal_number : k_signals) {
    struct sigaction old {};
    if (::sigaction(signal_number, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_pending_and_reraise;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

// Blocks the handled signals for its lifetime, so that a temporary file is
// never created without being known to the handler, nor forgotten first.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    ::sigemptyset(&set);
    for (int signal_number : k_signals) ::sigaddset(&set, signal_number);
    ::sigprocmask(SIG_BLOCK, &set, &m_old);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &m_old, nullptr); }

 private:
  sigset_t m_old;
};

void forget_pending(const std::string& name) {
  for (int i = 0; i < k_slots; ++i) {
    if (g_used[i] && name == g_pending[i]) g_used[i] = 0;
  }
}

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string reason(int error) {
  return std::strerror(error);
}

}  // namespace

std::string write_target(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
    if (length < 0) return current;
    link.resize(static_cast<std::size_t>(length));
    if (link.empty() || link[0] != '/') {
      std::string resolved = directory_of(current);
      resolved += '/';
      resolved += link;
      link = std::move(resolved);
    }
    current = std::move(link);
  }
  return {};
}

bool output_is_an_input(const std::string& output, const std::vector<std::string>& inputs) {
  if (output.empty() || output == "-") return false;
  struct stat out {};
  if (::stat(output.c_str(), &out) != 0) return false;
  for (const std::string& input : inputs) {
    struct stat in {};
    if (input.empty() || input == "-" || ::stat(input.c_str(), &in) != 0) continue;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino) return true;
  }
  return false;
}

bool FdBuffer::write_out(const char* data, std::size_t size) {
  while (size > 0 && m_error == 0) {
    const ssize_t written = ::write(m_fd, data, size);
    if (written < 0) {
      if (errno != EINTR) m_error = errno;
      continue;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return m_error == 0;
}

bool FdBuffer::flush_all() {
  const bool ok = write_out(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
  return ok;
}

FdBuffer::int_type FdBuffer::overflow(int_type ch) {
  if (!flush_all()) return traits_type::eof();
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  *pptr() = traits_type::to_char_type(ch);
  pbump(1);
  return ch;
}

std::streamsize FdBuffer::xsputn(const char* data, std::streamsize count) {
  const std::size_t size = static_cast<std::size_t>(count);
  if (size <= static_cast<std::size_t>(epptr() - pptr())) {
    std::memcpy(pptr(), data, size);
    pbump(static_cast<int>(size));
    return count;
  }
  if (!flush_all() || !write_out(data, size)) return 0;
  return count;
}

void remove_pending_outputs() {
  SignalsHeld held;
  for (int i = 0; i < k_slots; ++i) {
    if (g_used[i]) ::unlink(g_pending[i]);
    g_used[i] = 0;
  }
}

AtomicOutput::~AtomicOutput() {
  discard();
}

void AtomicOutput::discard() {
  close_fd();
  if (m_temporary.empty()) return;
  SignalsHeld held;
  ::unlink(m_temporary.c_str());
  forget_pending(m_temporary);
  m_temporary.clear();
}

bool AtomicOutput::open(const std::string& path) {
  m_target = write_target(path);
  if (m_target.empty()) {
    m_error = reason(ELOOP);
    return false;
  }
  struct stat info {};
  if (::stat(m_target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    // A device, pipe or socket cannot be replaced: it is written in place.
    const int fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      m_error = reason(errno);
      return false;
    }
    m_buffer.attach(fd);
    return true;
  }
  // ".NAME.XXXXXX" in the target's directory, so the rename stays on one file system.
  const std::size_t slash = m_target.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::string name(m_target, 0, base);
  name += '.';
  name.append(m_target, base, std::string::npos);
  name += ".XXXXXX";
  if (name.size() >= k_name_capacity) {
    m_error = reason(ENAMETOOLONG);
    return false;
  }
  install_handler();
  {
    SignalsHeld held;
    int slot = 0;
    while (slot < k_slots && g_used[slot]) ++slot;
    if (slot == k_slots) {
      m_error = "too many output files at once";
      return false;
    }
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      m_error = reason(errno);
      return false;
    }
    m_buffer.attach(fd);
    std::memcpy(g_pending[slot], name.c_str(), name.size() + 1);
    g_used[slot] = 1;
    m_temporary = name;
  }
  return true;
}

void AtomicOutput::close_fd() {
  if (m_buffer.fd() >= 0) ::close(m_buffer.fd());
  m_buffer.attach(-1);
}

bool AtomicOutput::commit() {
  m_stream.flush();
  if (!m_buffer.flush_all() || !m_stream) {
    m_error = reason(m_buffer.error() != 0 ? m_buffer.error() : EIO);
    discard();
    return false;
  }
  if (m_temporary.empty()) {  // written in place
    close_fd();
    return true;
  }

  mode_t mode = 0;
  struct stat old {};
  if (::stat(m_target.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  const int fd = m_buffer.fd();
  m_buffer.attach(-1);
  int failure = (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) ? errno : 0;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) {
    m_error = reason(failure);
    discard();
    return false;
  }
  {
    SignalsHeld held;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
      m_error = reason(errno);
      ::unlink(m_temporary.c_str());
      forget_pending(m_temporary);
      m_temporary.clear();
      return false;
    }
    forget_pending(m_temporary);
    m_temporary.clear();
  }
  // The rename itself reaches the disk with the directory.
  const int directory = ::open(directory_of(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return true;
}

}  // namespace kit
