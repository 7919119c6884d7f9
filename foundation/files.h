#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/shared_string.h"

namespace Orvex {

// An open file. Positions and sizes are 32-bit: files of 4 GiB and more are
// not handled. Every failure throws IOException whose text begins with the
// file name as it was given.
class IFile {
 public:
  static constexpr int kStdFile = 1;
  static constexpr int kApiFile = 2;

  IFile(const IFile&) = delete;
  IFile& operator=(const IFile&) = delete;
  virtual ~IFile() = default;

  virtual int GetType() const = 0;
  // origin 0: from the start, 1: from the current position, 2: from the end.
  virtual int32_t Seek(int32_t offset, int origin) = 0;
  virtual int32_t Tell() = 0;
  virtual uint32_t GetSize() = 0;
  virtual void Read(void* buffer, int count) = 0;
  virtual void Write(const void* buffer, int count) = 0;
  // Grows the file to at least size bytes ahead of writing it, so that its
  // data is laid out in one piece. Small sizes are not worth it.
  virtual void Reserve(uint32_t size) = 0;
  virtual void Flush() = 0;
  // The runtime stream of a CStdFile; nullptr otherwise.
  virtual std::FILE* GetStream() = 0;

  const SharedString& GetName() const { return name_; }

 protected:
  explicit IFile(const SharedString& name) : name_(name) {}
  [[noreturn]] void Fail(const char16_t* suffix) const;

 private:
  SharedString name_;
};

// A file over the system's file handle.
//   mode 0: read; others may read too.
//   mode 1: read and write, created anew (emptied if it exists); nobody
//           else may open it meanwhile.
//   other:  read; others may read, write and delete it meanwhile.
//   hint 0: no access pattern, 1: sequential, other: random access.
// Elsewhere than on Windows the sharing rules are advisory locks.
class CApiFile final : public IFile {
 public:
  CApiFile(const SharedString& name, int mode, int hint);
  ~CApiFile() override;

  int GetType() const override { return kApiFile; }
  // Returns the new position.
  int32_t Seek(int32_t offset, int origin) override;
  int32_t Tell() override;
  uint32_t GetSize() override;
  // Reading past the end is not an error here: what is there is read.
  void Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  void Reserve(uint32_t size) override;
  void Flush() override;
  std::FILE* GetStream() override { return nullptr; }

 private:
  // The platform's owner of the open file: a HANDLE on Windows, a file
  // descriptor elsewhere.
  struct SystemFile;
  std::unique_ptr<SystemFile> file_;
};

// A file over the runtime library's buffered stream, opened with an fopen
// mode ("rb", "w+b", ...).
class CStdFile final : public IFile {
 public:
  CStdFile(const SharedString& name, const SharedString& mode);
  // For reading ("rb"), and only a regular file or a link to one: a pipe,
  // a socket or a device is refused at once as a file that cannot be
  // opened, where opening or reading it could wait for ever.
  struct RegularFileForReading {};
  static constexpr RegularFileForReading kRegularFileForReading{};
  CStdFile(const SharedString& name, RegularFileForReading);
  ~CStdFile() override;

  int GetType() const override { return kStdFile; }
  // Returns 0.
  int32_t Seek(int32_t offset, int origin) override;
  int32_t Tell() override;
  uint32_t GetSize() override;
  // Anything short of count bytes is a failure.
  void Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  void Reserve(uint32_t size) override;
  void Flush() override;
  std::FILE* GetStream() override { return stream_; }

 private:
  std::FILE* stream_ = nullptr;
};

// The whole file, in one read. An empty file gives no bytes.
void ReadFileBytes(const SharedString& name, std::vector<uint8_t>& bytes);
// A text file: UTF-16 with a byte-order mark (either byte order), else text
// in the system's narrow encoding.
void ReadTextFile(const SharedString& name, std::u16string& text);
// The text of a text file's bytes, by the same rules.
void DecodeText(const uint8_t* bytes, size_t size, std::u16string& text);
// UTF-16LE with a byte-order mark; the file's folder is created if needed.
void WriteTextFile(const SharedString& name, const SharedString& text);
// Writes the file name whole or not at all: write(path) writes all of it at
// path, a file beside name, which takes name's place (and keeps its name)
// only once it is complete and on the disk. A failure, a full disk or the
// process ending halfway leaves the old file as it was, and a failure
// leaves no file beside it. A link, a device, a read-only, hidden or
// otherwise marked file is written in place instead (path is name): a new
// file would not be what it was. A failure throws IOException with name
// and failure_suffix.
void WriteFileReplacing(const SharedString& name, const char16_t* failure_suffix,
                        const std::function<void(const SharedString& path)>& write);

// A file's name and all its bytes, read when it is made. Shared by the
// image loaders that decode from it. Only a regular file (or a link to one)
// is read; anything else fails as a file that cannot be opened.
namespace Detail {
// Frees a file buffer the way it was allocated.
struct FileBufferRelease {
  bool large_page_aligned = false;
  void operator()(uint8_t* bytes) const;
};
}  // namespace Detail

class CFileData {
 public:
  explicit CFileData(const SharedString& name);
  CFileData(const CFileData&) = delete;
  CFileData& operator=(const CFileData&) = delete;

  const SharedString& GetName() const { return name_; }
  // Null for an empty file.
  const uint8_t* GetData() const { return data_.get(); }
  uint32_t GetSize() const { return size_; }

 private:
  SharedString name_;
  std::unique_ptr<uint8_t[], Detail::FileBufferRelease> data_;
  uint32_t size_ = 0;
};

namespace Detail {
// The platform's fopen for a UTF-16 name; nullptr on failure.
std::FILE* OpenStream(const SharedString& name, const SharedString& mode);
// fopen "rb" of a regular file, opened so that nothing else can make it
// wait; nullptr on failure and for every other kind of file.
std::FILE* OpenRegularStream(const SharedString& name);
}  // namespace Detail

}  // namespace Orvex
