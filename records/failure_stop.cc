#include "records/failure_stop.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <fenv.h>
#include <link.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "records/run_files.h"
#include "records/units.h"

namespace records {
namespace {

// A text assembled at compile time, so that a message can quote the
// capacities it is about.
struct BuiltText {
  char data[128] = {};
  std::size_t length = 0;

  constexpr BuiltText& operator<<(std::string_view part) {
    for (const char c : part) data[length++] = c;
    return *this;
  }
  constexpr BuiltText& operator<<(int value) {
    char digits[12] = {};
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) data[length++] = digits[--count];
    return *this;
  }
  constexpr std::string_view view() const { return {data, length}; }
};

constexpr BuiltText k_capacity_text =
    BuiltText{} << "results table exceeds capacity of " << k_max_methods << " methods and "
                << k_max_problems << " problems, unit %d, file %s";

struct CatalogueEntry {
  Message message;
  MessageClass message_class;
  std::string_view text;
};

// Every message the tool can meet, with its class and text.
constexpr CatalogueEntry k_catalogue[] = {
    {Message::permission_denied, MessageClass::severe,
     "permission to access file denied, unit %d, file %s"},
    {Message::cannot_overwrite, MessageClass::severe,
     "cannot overwrite existing file, unit %d, file %s"},
    {Message::record_too_long, MessageClass::severe, "input record too long, unit %d, file %s"},
    {Message::end_of_file, MessageClass::severe, "end-of-file during read, unit %d, file %s"},
    {Message::close_error, MessageClass::severe, "CLOSE error, unit %d, file %s"},
    {Message::file_not_found, MessageClass::severe, "file not found, unit %d, file %s"},
    {Message::open_failure, MessageClass::severe, "open failure, unit %d, file %s"},
    {Message::write_error, MessageClass::severe, "error during write, unit %d, file %s"},
    {Message::read_error, MessageClass::severe, "error during read, unit %d, file %s"},
    {Message::no_such_device, MessageClass::severe, "no such device, unit %d, file %s"},
    {Message::file_name_error, MessageClass::severe,
     "file name specification error, unit %d, file %s"},
    {Message::write_readonly, MessageClass::severe, "write to READONLY file, unit %d, file %s"},
    {Message::input_conversion, MessageClass::severe, "input conversion error, unit %d, file %s"},
    {Message::output_overflow, MessageClass::severe,
     "output statement overflows record, unit %d, file %s"},
    {Message::capacity_exceeded, MessageClass::severe, k_capacity_text.view()},
    // The criterion is written into the report and the script, where a line
    // end would split a record; it names no unit.
    {Message::line_end_in_criterion, MessageClass::severe, "line end in criterion argument"},
    {Message::interrupt, MessageClass::error, "program aborting due to %s event"},
};

const CatalogueEntry& entry_of(Message message) {
  for (const CatalogueEntry& entry : k_catalogue) {
    if (entry.message == message) return entry;
  }
  return k_catalogue[0];
}

// ---------------------------------------------------------------------------
// Bounded text building over a caller's buffer: what does not fit is dropped.
// Every helper here is async-signal-safe.

struct Text {
  char* data;
  std::size_t capacity;
  std::size_t length;
};

void put(Text& text, std::string_view part) {
  const std::size_t room = text.capacity - text.length;
  const std::size_t count = part.size() < room ? part.size() : room;
  std::memcpy(text.data + text.length, part.data(), count);
  text.length += count;
}

void put_blanks(Text& text, std::size_t count) {
  while (count-- > 0 && text.length < text.capacity) text.data[text.length++] = ' ';
}

// Left-aligned in `width` columns, cut to them.
void put_left(Text& text, std::string_view part, std::size_t width) {
  if (part.size() > width) part = part.substr(0, width);
  put(text, part);
  put_blanks(text, width - part.size());
}

// Right-aligned in `width` columns, cut to them.
void put_right(Text& text, std::string_view part, std::size_t width) {
  if (part.size() > width) part = part.substr(0, width);
  put_blanks(text, width - part.size());
  put(text, part);
}

void put_decimal(Text& text, int value) {
  char digits[12];
  std::size_t count = 0;
  // Work on the magnitude as unsigned so that the most negative value renders.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[sizeof digits - 1 - count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[sizeof digits - 1 - count++] = '-';
  put(text, std::string_view(digits + sizeof digits - count, count));
}

void put_hex8(Text& text, std::uint32_t value) {
  constexpr char k_hex_digits[] = "0123456789ABCDEF";
  char digits[8];
  for (int i = 7; i >= 0; --i) {
    digits[i] = k_hex_digits[value & 0xFu];
    value >>= 4;
  }
  put(text, std::string_view(digits, sizeof digits));
}

// ---------------------------------------------------------------------------
// Where a diagnostic goes.

struct Destinations {
  const char* redirect;  // RTDT0: stderr is moved onto this file at the first diagnostic
  const char* log_file;  // RTD_DIAGNOSTIC_LOG_FILE: each block is appended here
  bool display;          // false when RTD_DISABLE_DIAGNOSTIC_DISPLAY is on
};

// Set once the run's first diagnostic has taken RTDT0 into account.
volatile sig_atomic_t g_stderr_redirected = 0;

const char* file_variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

Destinations destinations_from_environment() {
  return {file_variable("RTDT0"), file_variable("RTD_DIAGNOSTIC_LOG_FILE"),
          !environment_switch_on(std::getenv("RTD_DISABLE_DIAGNOSTIC_DISPLAY"))};
}

// A diagnostic that cannot be written changes nothing else: errors end the
// write silently.
void write_all(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    length -= static_cast<std::size_t>(written);
  }
}

void redirect_stderr(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  if (fd != STDERR_FILENO) {
    ::dup2(fd, STDERR_FILENO);  // dup2 leaves the new descriptor inheritable
    ::close(fd);
  }
}

void append_to_file(const char* path, const char* data, std::size_t length) {
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  write_all(fd, data, length);
  ::close(fd);
}

// Hands one diagnostic to its destinations, each with a single write().
// The platform-error line belongs to the diagnostic it introduces, so it is
// part of `data`: it reaches the log file too, and a disabled display prints
// nothing at all, neither the line nor the block.
void emit(const char* data, std::size_t length, const Destinations& to) {
  if (g_stderr_redirected == 0) {
    g_stderr_redirected = 1;
    if (to.redirect != nullptr) redirect_stderr(to.redirect);
  }
  if (to.log_file != nullptr) append_to_file(to.log_file, data, length);
  if (to.display) write_all(STDERR_FILENO, data, length);
}

// A reader that went away must not turn a diagnostic into death by SIGPIPE.
void ignore_broken_pipe() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

// ---------------------------------------------------------------------------
// Traceback.

// Frames above failure_stop() that may belong to this file's own helpers; the
// walk captures that many more than it shows.
constexpr int k_own_frames = 8;

constexpr std::size_t k_initial_demangle_length = 1024;

// Output buffer of abi::__cxa_demangle, kept for the whole run (it must come
// from malloc, since the demangler may enlarge it with realloc).
char* g_demangle_buffer = nullptr;
std::size_t g_demangle_length = 0;

sigjmp_buf g_walk_fault;

void on_walk_fault(int) {
  siglongjmp(g_walk_fault, 1);
}

std::string_view base_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

// The readable form of a symbol name; the name itself when it is no mangled
// C++ name or cannot be demangled (out of memory, say).
std::string_view routine_name(const char* symbol) {
  if (symbol[0] != '_' || symbol[1] != 'Z') return symbol;
  int status = -1;
  std::size_t length = g_demangle_length;
  char* demangled = abi::__cxa_demangle(symbol, g_demangle_buffer, &length, &status);
  if (demangled == nullptr || status != 0) return symbol;
  g_demangle_buffer = demangled;
  g_demangle_length = length;
  return demangled;
}

// The probe address for a frame: return addresses lie after their call, and
// after a call of a function that does not return that may already be the next
// routine, so every frame but the innermost is looked up one byte earlier.
void* probe_address(void* const* frames, int index) {
  const auto address = reinterpret_cast<std::uintptr_t>(frames[index]);
  return reinterpret_cast<void*>(index > 0 ? address - 1 : address);
}

using ElfHeader = ElfW(Ehdr);
using SegmentHeader = ElfW(Phdr);
using SectionHeader = ElfW(Shdr);
using ElfSymbol = ElfW(Sym);

// Where the program itself is loaded, from its program headers.
struct ProgramImage {
  bool known;
  std::uintptr_t bias;  // load address minus link address (0 in a static non-PIE program)
  std::uintptr_t low;   // its lowest loaded address: where its file begins
  std::uintptr_t high;  // one past its highest loaded address
  char path[4096];      // its file, from /proc/self/exe; empty when unreadable
};
ProgramImage g_program{};

// dl_iterate_phdr() reports the program first, then the shared objects.
int take_program_headers(dl_phdr_info* info, std::size_t, void*) {
  g_program.bias = info->dlpi_addr;
  g_program.low = UINTPTR_MAX;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const SegmentHeader& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const std::uintptr_t start = g_program.bias + segment.p_vaddr;
    if (start < g_program.low) g_program.low = start;
    if (start + segment.p_memsz > g_program.high) g_program.high = start + segment.p_memsz;
  }
  return 1;
}

const ProgramImage& program_image() {
  if (!g_program.known) {
    g_program.known = true;
    ::dl_iterate_phdr(take_program_headers, nullptr);
    const ssize_t length = ::readlink("/proc/self/exe", g_program.path, sizeof g_program.path - 1);
    g_program.path[length > 0 ? length : 0] = '\0';
  }
  return g_program;
}

// The program's own symbol table (.symtab), read from its file mapped
// read-only: it holds the local routines that dladdr() cannot name, and in a
// static program every routine. Nothing is allocated, since the stop may be
// for lack of memory. A stripped or unreadable file has none.
struct OwnSymbols {
  int state;  // 0 not mapped yet, 1 mapped, -1 not available
  const unsigned char* file;
  std::size_t size;
  const ElfSymbol* symbols;
  std::size_t count;
  const char* names;  // the string table, ending in NUL
  std::size_t names_size;
};
OwnSymbols g_own{};

// True when `section` lies within the file, aligned for `alignment`.
bool section_in_file(const SectionHeader& section, std::size_t alignment) {
  return section.sh_offset <= g_own.size && section.sh_size <= g_own.size - section.sh_offset &&
         section.sh_offset % alignment == 0;
}

bool find_symbol_table() {
  const auto* header = reinterpret_cast<const ElfHeader*>(g_own.file);
  if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
      header->e_shentsize != sizeof(SectionHeader) || header->e_shoff > g_own.size ||
      header->e_shoff % alignof(SectionHeader) != 0 ||
      header->e_shnum > (g_own.size - header->e_shoff) / sizeof(SectionHeader)) {
    return false;
  }
  const auto* sections = reinterpret_cast<const SectionHeader*>(g_own.file + header->e_shoff);
  for (std::size_t i = 0; i < header->e_shnum; ++i) {
    if (sections[i].sh_type != SHT_SYMTAB) continue;
    if (sections[i].sh_link >= header->e_shnum) return false;
    const SectionHeader& names = sections[sections[i].sh_link];
    if (!section_in_file(sections[i], alignof(ElfSymbol)) || !section_in_file(names, 1) ||
        names.sh_size == 0 || g_own.file[names.sh_offset + names.sh_size - 1] != '\0') {
      return false;
    }
    g_own.symbols = reinterpret_cast<const ElfSymbol*>(g_own.file + sections[i].sh_offset);
    g_own.count = sections[i].sh_size / sizeof(ElfSymbol);
    g_own.names = reinterpret_cast<const char*>(g_own.file + names.sh_offset);
    g_own.names_size = names.sh_size;
    return true;
  }
  return false;
}

void unmap_own_symbols() {
  if (g_own.file != nullptr) ::munmap(const_cast<unsigned char*>(g_own.file), g_own.size);
  g_own = OwnSymbols{};
}

bool map_own_symbols() {
  if (g_own.state != 0) return g_own.state > 0;
  g_own.state = -1;
  const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  void* file = MAP_FAILED;
  if (::fstat(fd, &status) == 0 && status.st_size >= static_cast<off_t>(sizeof(ElfHeader))) {
    file = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  }
  ::close(fd);
  if (file == MAP_FAILED) return false;
  g_own.file = static_cast<const unsigned char*>(file);
  g_own.size = static_cast<std::size_t>(status.st_size);
  if (!find_symbol_table()) {
    unmap_own_symbols();
    g_own.state = -1;
    return false;
  }
  g_own.state = 1;
  return true;
}

// The routine of the program's symbol table whose code holds `address`, or
// nullptr.
const ElfSymbol* own_routine(std::uintptr_t address) {
  if (!map_own_symbols()) return nullptr;
  const std::uintptr_t linked = address - program_image().bias;
  for (std::size_t i = 0; i < g_own.count; ++i) {
    const ElfSymbol& symbol = g_own.symbols[i];
    if (ELF64_ST_TYPE(symbol.st_info) == STT_FUNC && symbol.st_shndx != SHN_UNDEF &&
        symbol.st_name < g_own.names_size && linked - symbol.st_value < symbol.st_size) {
      return &symbol;
    }
  }
  return nullptr;
}

// What the traceback knows of a code address; null texts and zero addresses
// are unknown.
struct CodePlace {
  const char* image;     // the file it lies in
  std::uintptr_t base;   // where that file is loaded
  const char* routine;   // the symbol name of its routine
  std::uintptr_t start;  // that routine's first address
};

// dladdr() first; for a routine it cannot name in the program itself, the
// program's own symbol table.
CodePlace code_place(const void* probe) {
  CodePlace place{};
  Dl_info info{};
  if (::dladdr(probe, &info) != 0) {
    place = {info.dli_fname, reinterpret_cast<std::uintptr_t>(info.dli_fbase), info.dli_sname,
             reinterpret_cast<std::uintptr_t>(info.dli_saddr)};
    if (place.routine != nullptr) return place;
  }
  const auto address = reinterpret_cast<std::uintptr_t>(probe);
  const ProgramImage& program = program_image();
  if (address < program.low || address >= program.high) return place;
  if (place.image == nullptr) place = {program.path, program.low, nullptr, 0};
  if (const ElfSymbol* symbol = own_routine(address)) {
    place.routine = g_own.names + symbol->st_name;
    place.start = program.bias + symbol->st_value;
  }
  return place;
}

// Writes one line per frame outside this layer, innermost first. Frames up to
// and including the innermost failure_stop() are the stop's own and are left
// out; when that frame cannot be found, only the walk's own frame is.
[[gnu::noinline]] void walk_frames(Text& block) {
  void* frames[k_traceback_frames + k_own_frames];
  const int count = ::backtrace(frames, static_cast<int>(std::size(frames)));
  const auto stop_address = reinterpret_cast<std::uintptr_t>(&failure_stop);
  const auto because_address = reinterpret_cast<std::uintptr_t>(&failure_stop_because);
  int first = 1;
  for (int i = 0; i < count && i < k_own_frames; ++i) {
    if (code_place(probe_address(frames, i)).start == stop_address) {
      first = i + 1;
      // A stop for a reason of the tool's own enters through one more routine.
      if (first < count && code_place(probe_address(frames, first)).start == because_address) {
        ++first;
      }
      break;
    }
  }
  char line[128];
  for (int i = first; i < count && i < first + k_traceback_frames; ++i) {
    const auto pc = reinterpret_cast<std::uintptr_t>(frames[i]);
    TraceFrame frame{{}, static_cast<std::uint32_t>(pc), {}};
    const CodePlace place = code_place(probe_address(frames, i));
    if (place.image != nullptr) {
      frame.image = base_name(place.image);
      frame.pc_offset = static_cast<std::uint32_t>(pc - place.base);
    }
    if (place.routine != nullptr) frame.routine = routine_name(place.routine);
    put(block, std::string_view(line, format_traceback_frame(line, sizeof line, frame)));
  }
}

// Appends the heading and the frame lines. A fault inside the walk (a broken
// stack, say) ends the traceback with an empty line and a note instead of
// ending the stop.
void append_traceback(Text& block) {
  char heading[96];
  put(block, std::string_view(heading, format_traceback_heading(heading, sizeof heading)));

  struct sigaction guard {};
  guard.sa_handler = on_walk_fault;
  sigemptyset(&guard.sa_mask);
  struct sigaction previous_segv {};
  struct sigaction previous_bus {};
  ::sigaction(SIGSEGV, &guard, &previous_segv);
  ::sigaction(SIGBUS, &guard, &previous_bus);
  if (sigsetjmp(g_walk_fault, 1) == 0) {
    walk_frames(block);
  } else {
    put(block, "\nStack trace terminated abnormally.\n");
  }
  unmap_own_symbols();
  ::sigaction(SIGSEGV, &previous_segv, nullptr);
  ::sigaction(SIGBUS, &previous_bus, nullptr);
}

// The demangler wants a buffer; it is taken at start-up so that a stop for
// lack of memory can still name its routines. In a dynamic program the
// unwinder itself is loaded by the first stack walk, at the stop: loading it
// at every start-up would cost each successful run more than its whole table
// work. The program's symbol table, too, is read only at a stop.
void prepare_traceback() {
  if (g_demangle_buffer == nullptr) {
    g_demangle_buffer = static_cast<char*>(std::malloc(k_initial_demangle_length));
    g_demangle_length = g_demangle_buffer != nullptr ? k_initial_demangle_length : 0;
  }
}

// ---------------------------------------------------------------------------
// The severe stop.

constexpr std::size_t k_platform_line_capacity = 512;

// The platform-error line and the block after it, written with one write().
// Static rather than on the stack: the stop may be raised deep in a statement.
char g_output[k_platform_line_capacity + k_diagnostic_block_limit];

// The block being built; static so that it survives a fault during the walk.
Text g_block{};

// The reason that failure_stop_because() hands to failure_stop().
std::string_view g_reason;

// Nesting of failure_stop(): a failure while the units are being closed
// comes back here.
int g_stop_depth = 0;
int g_exit_status = 0;

int exit_status_of(Message message) {
  return static_cast<int>((0xC0000000u + static_cast<unsigned>(message)) & 0xFFu);
}

std::size_t format_reason_line(char* buffer, std::size_t capacity, std::string_view reason) {
  Text text{buffer, capacity, 0};
  put(text, "rtdiag: ");
  put(text, reason);
  put(text, "\r\n");
  return text.length;
}

void hold_interrupts() {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  sigaddset(&interrupts, SIGINT);
  sigaddset(&interrupts, SIGQUIT);
  sigaddset(&interrupts, SIGHUP);
  ::sigprocmask(SIG_BLOCK, &interrupts, nullptr);
}

// ---------------------------------------------------------------------------
// Interrupts.

struct InterruptEvent {
  int signal_number;
  std::string_view name;
};

constexpr InterruptEvent k_interrupt_events[] = {
    {SIGINT, "control-C"},
    {SIGQUIT, "control-BREAK"},
    {SIGHUP, "window-CLOSE"},
};
constexpr std::size_t k_interrupt_event_count = std::size(k_interrupt_events);

// Everything the handler needs, prepared at start-up: the handler may not call
// getenv or snprintf.
constexpr std::size_t k_interrupt_line_capacity = 96;
constexpr std::size_t k_path_capacity = 4096;  // longer names cannot be opened anyway
char g_interrupt_lines[k_interrupt_event_count][k_interrupt_line_capacity];
std::size_t g_interrupt_line_lengths[k_interrupt_event_count];
char g_interrupt_redirect[k_path_capacity];
char g_interrupt_log_file[k_path_capacity];
Destinations g_interrupt_destinations{nullptr, nullptr, true};

const char* keep_path(const char* value, char* storage) {
  if (value == nullptr) return nullptr;
  const std::size_t length = std::strlen(value);
  if (length >= k_path_capacity) return nullptr;
  std::memcpy(storage, value, length + 1);
  return storage;
}

// Ends the process by `signal_number` itself, so that the caller's shell sees
// an interrupted run (128 + signal) rather than a success.
[[noreturn]] void end_by_signal(int signal_number) {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  ::sigaction(signal_number, &default_action, nullptr);
  // The signal stays blocked while its handler runs; it is delivered as soon
  // as it is unblocked.
  ::raise(signal_number);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::_exit(128 + signal_number);
}

// Async-signal-safe: writes the prepared line, drops the units' handles and
// ends the process by the signal.
void on_interrupt(int signal_number) {
  ignore_broken_pipe();
  for (std::size_t i = 0; i < k_interrupt_event_count; ++i) {
    if (k_interrupt_events[i].signal_number == signal_number) {
      emit(g_interrupt_lines[i], g_interrupt_line_lengths[i], g_interrupt_destinations);
    }
  }
  close_all_units_signal_safe();
  end_by_signal(signal_number);
}

// A process started with stdin, stdout or stderr closed would hand those
// numbers to the first files it opens, and a diagnostic would then be written
// into P.PER or P.PRO; /dev/null takes their place instead.
void occupy_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace

MessageClass message_class(Message message) {
  return entry_of(message).message_class;
}
std::string_view message_text(Message message) {
  return entry_of(message).text;
}

bool environment_switch_on(const char* value) {
  if (value == nullptr || value[0] == '\0') return false;
  const char first = value[0];
  if (first == 'T' || first == 't' || first == 'Y' || first == 'y') return true;
  bool nonzero = false;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    if (*c != '0') nonzero = true;
  }
  return nonzero;
}

std::size_t format_diagnostic_line(char* buffer, std::size_t capacity, Message message, int unit,
                                   std::string_view name) {
  const CatalogueEntry& entry = entry_of(message);
  Text text{buffer, capacity, 0};
  put(text, "rtdiag: ");
  put(text, entry.message_class == MessageClass::severe ? "severe" : "error");
  put(text, " (");
  put_decimal(text, static_cast<int>(message));
  put(text, "): ");
  for (std::size_t i = 0; i < entry.text.size(); ++i) {
    if (entry.text[i] == '%' && i + 1 < entry.text.size()) {
      const char conversion = entry.text[++i];
      if (conversion == 'd') put_decimal(text, unit);
      if (conversion == 's') put(text, name);
    } else {
      put(text, entry.text.substr(i, 1));
    }
  }
  put(text, "\r\n");
  return text.length;
}

std::size_t format_traceback_heading(char* buffer, std::size_t capacity) {
  Text text{buffer, capacity, 0};
  put_left(text, "Image", 19);
  put_left(text, "PC", 10);
  put_left(text, "Routine", 19);
  put_left(text, "Line", 12);
  put_left(text, "Source", 19);
  put(text, "\n");
  return text.length;
}

std::size_t format_traceback_frame(char* buffer, std::size_t capacity, const TraceFrame& frame) {
  constexpr std::string_view k_unknown = "Unknown";
  Text text{buffer, capacity, 0};
  put_left(text, frame.image.empty() ? k_unknown : frame.image, 17);
  put(text, "  ");
  put_hex8(text, frame.pc_offset);
  put(text, "  ");
  put_left(text, frame.routine.empty() ? k_unknown : frame.routine, 17);
  put(text, "  ");
  put_right(text, k_unknown, 10);  // line numbers need debug information
  put(text, "  ");
  put(text, k_unknown);  // so do source names
  put(text, "\n");
  return text.length;
}

[[noreturn]] void failure_stop(Message message, int unit, std::string_view file,
                               int platform_error) {
  // An interrupt now would end the process with a second, competing outcome.
  hold_interrupts();
  ignore_broken_pipe();
  ++g_stop_depth;
  if (g_stop_depth == 1) g_exit_status = exit_status_of(message);
  if (g_stop_depth > 2) std::_Exit(g_exit_status);

  std::string_view reason = g_reason;
  g_reason = {};
  if (platform_error != 0) reason = std::strerror(platform_error);
  std::size_t prefix = 0;
  if (!reason.empty()) prefix = format_reason_line(g_output, k_platform_line_capacity, reason);
  g_block = Text{g_output + prefix, k_diagnostic_block_limit, 0};
  g_block.length = format_diagnostic_line(g_block.data, g_block.capacity, message, unit, file);
  if (message_class(message) == MessageClass::severe &&
      !environment_switch_on(std::getenv("RTD_DISABLE_STACK_TRACE"))) {
    append_traceback(g_block);
  }
  emit(g_output, prefix + g_block.length, destinations_from_environment());

  // A failure while closing comes back here once; it is reported, the rest of
  // the handles are dropped, and the first stop's status stands.
  if (g_stop_depth == 1) {
    close_all_units();
  } else {
    close_all_units_signal_safe();
  }
  std::_Exit(g_exit_status);
}

[[noreturn]] void failure_stop_because(Message message, int unit, std::string_view file,
                                       std::string_view reason) {
  g_reason = reason;
  failure_stop(message, unit, file);
}

void install_failure_handling() {
  // Division by zero and invalid operations are data here: masked, they give
  // infinities and NaNs instead of a trap.
  if (::fegetexcept() != 0) ::fedisableexcept(FE_ALL_EXCEPT);

  occupy_standard_descriptors();
  prepare_traceback();

  g_interrupt_destinations = {
      keep_path(file_variable("RTDT0"), g_interrupt_redirect),
      keep_path(file_variable("RTD_DIAGNOSTIC_LOG_FILE"), g_interrupt_log_file),
      !environment_switch_on(std::getenv("RTD_DISABLE_DIAGNOSTIC_DISPLAY"))};

  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  for (const InterruptEvent& event : k_interrupt_events) {
    sigaddset(&action.sa_mask, event.signal_number);
  }
  for (std::size_t i = 0; i < k_interrupt_event_count; ++i) {
    g_interrupt_line_lengths[i] =
        format_diagnostic_line(g_interrupt_lines[i], k_interrupt_line_capacity, Message::interrupt,
                               0, k_interrupt_events[i].name);
    // A signal that the caller chose to ignore (nohup, a background job)
    // stays ignored.
    struct sigaction previous {};
    ::sigaction(k_interrupt_events[i].signal_number, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) continue;
    ::sigaction(k_interrupt_events[i].signal_number, &action, nullptr);
  }
}

namespace detail {

bool find_own_routine(std::uintptr_t address, char* name, std::size_t capacity,
                      std::uintptr_t& start) {
  const ElfSymbol* symbol = own_routine(address);
  const bool found = symbol != nullptr && capacity > 0;
  if (found) {
    const char* text = g_own.names + symbol->st_name;
    const std::size_t length = std::min(std::strlen(text), capacity - 1);
    std::memcpy(name, text, length);
    name[length] = '\0';
    start = g_program.bias + symbol->st_value;
  }
  unmap_own_symbols();
  return found;
}

}  // namespace detail

}  // namespace records
