// Compression level of the workbook's zip entries.
//
// libxlsxwriter zips each part of the workbook through minizip at zlib's
// default level, which spends most of a large export compressing: the
// streamed (constant-memory) sheet holds every text inline. This definition
// takes the place of minizip's entry-opening function for libxlsxwriter
// (the dynamic linker binds its reference to the program's own definition)
// and forwards every call to minizip unchanged except for a default level,
// which becomes the fastest one. The files stay ordinary deflated zip
// entries that every spreadsheet program reads; they come out about a
// quarter larger, in a fraction of the time.
#include <dlfcn.h>
#include <zlib.h>

namespace {

using OpenEntry = int (*)(void* file, const char* filename, const void* zipfi,
                          const void* extrafieldLocal, unsigned sizeExtrafieldLocal,
                          const void* extrafieldGlobal, unsigned sizeExtrafieldGlobal,
                          const char* comment, int method, int level, int raw, int windowBits,
                          int memLevel, int strategy, const char* password,
                          unsigned long crcForCrypting, unsigned long versionMadeBy,
                          unsigned long flagBase, int zip64);

}  // namespace

extern "C" int zipOpenNewFileInZip4_64(void* file, const char* filename, const void* zipfi,
                                       const void* extrafieldLocal, unsigned sizeExtrafieldLocal,
                                       const void* extrafieldGlobal, unsigned sizeExtrafieldGlobal,
                                       const char* comment, int method, int level, int raw,
                                       int windowBits, int memLevel, int strategy,
                                       const char* password, unsigned long crcForCrypting,
                                       unsigned long versionMadeBy, unsigned long flagBase,
                                       int zip64) {
  static const auto minizip =
      reinterpret_cast<OpenEntry>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
  if (minizip == nullptr) return -102;  // ZIP_INTERNALERROR: minizip is not loaded
  if (level == Z_DEFAULT_COMPRESSION) level = Z_BEST_SPEED;
  return minizip(file, filename, zipfi, extrafieldLocal, sizeExtrafieldLocal, extrafieldGlobal,
                 sizeExtrafieldGlobal, comment, method, level, raw, windowBits, memLevel, strategy,
                 password, crcForCrypting, versionMadeBy, flagBase, zip64);
}

namespace eb::datalog {

// Referenced by the .xlsx writer so that this file is always linked with it.
int FastZipLevel() { return Z_BEST_SPEED; }

}  // namespace eb::datalog
