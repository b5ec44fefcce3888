// The program's side of rendering: finds and loads the renderer module once,
// then hands it each document.
#include "profkit/render/render.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>

#include "profkit/render/draw.h"

#ifndef PROFKIT_RENDER_MODULE_FROM_PROGRAM
#define PROFKIT_RENDER_MODULE_FROM_PROGRAM "../lib/profkit/profkit-render.so"
#endif

namespace render {
namespace {

// A module loaded, or why it could not be: each path is tried once per
// process, and a module is never unloaded (the drawing libraries keep
// per-process state).
struct Module {
  EntryPoint entry = nullptr;
  std::string error;
};

Module load(const std::string& path) {
  Module module;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    module.error =
        "the renderer module cannot be loaded: " + std::string(reason != nullptr ? reason : path);
    return module;
  }
  void* symbol = dlsym(handle, k_entry_point);
  if (symbol == nullptr) {
    module.error = "the renderer module " + path + " has no entry point " + k_entry_point;
    return module;
  }
  // POSIX guarantees that a function's address from dlsym converts back.
  std::memcpy(&module.entry, &symbol, sizeof module.entry);
  return module;
}

}  // namespace

std::string module_path() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path relative(PROFKIT_RENDER_MODULE_FROM_PROGRAM);
  if (error) return relative.string();
  return (program.parent_path() / relative).lexically_normal().string();
}

Rendered render_svg(std::string_view svg, Format format, const Options& options) {
  static std::mutex mutex;
  static std::map<std::string, Module> loaded;
  const std::string path = options.module.empty() ? module_path() : options.module;
  EntryPoint entry = nullptr;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    auto found = loaded.find(path);
    if (found == loaded.end()) found = loaded.emplace(path, load(path)).first;
    if (found->second.entry == nullptr)
      return Rendered{{}, "SVG rendering: " + found->second.error};
    entry = found->second.entry;
  }
  Rendered rendered;
  entry(svg.data(), svg.size(), static_cast<int>(format), options.dpi, &rendered);
  return rendered;
}

}  // namespace render

// The text of a figure is laid out with fonts that fontconfig finds once per
// process and keeps until the process ends (its pattern cache, held by the
// font map of the text library), which LeakSanitizer reports at exit. Builds
// with AddressSanitizer leave out the leaks allocated inside fontconfig, and
// only those, without the table of suppressions used at exit (which would end
// every run's standard error). The hooks are read from the program, so they
// are here and not in the module.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PROFKIT_RENDER_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(PROFKIT_RENDER_ADDRESS_SANITIZER)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif
