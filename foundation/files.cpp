#include "foundation/files.h"

#include <memory>
#include <new>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/file_system_primitives.h"
#include "foundation/large_pages.h"
#include "foundation/replace_file.h"

namespace Orvex {
namespace {

constexpr uint32_t kSmallestReserve = 1024;

}  // namespace

void IFile::Fail(const char16_t* suffix) const { throw IOException(name_ + suffix); }

CStdFile::CStdFile(const SharedString& name, const SharedString& mode) : IFile(name) {
  stream_ = Detail::OpenStream(name, mode);
  if (!stream_) Fail(u" が開けませんでした");
}

CStdFile::CStdFile(const SharedString& name, RegularFileForReading) : IFile(name) {
  stream_ = Detail::OpenRegularStream(name);
  if (!stream_) Fail(u" が開けませんでした");
}

CStdFile::~CStdFile() {
  if (stream_) std::fclose(stream_);
}

int32_t CStdFile::Seek(int32_t offset, int origin) {
  if (std::fseek(stream_, offset, origin) != 0) Fail(u" のファイルポインタの設定に失敗しました");
  return 0;
}

int32_t CStdFile::Tell() {
  const long position = std::ftell(stream_);
  if (position < 0) Fail(u" のファイルポインタの設定に失敗しました");
  return static_cast<int32_t>(position);
}

uint32_t CStdFile::GetSize() {
  const long position = std::ftell(stream_);
  if (position < 0 || std::fseek(stream_, 0, SEEK_END) != 0) {
    Fail(u" のファイルポインタの設定に失敗しました");
  }
  const long size = std::ftell(stream_);
  if (size < 0 || std::fseek(stream_, position, SEEK_SET) != 0) {
    Fail(u" のファイルポインタの設定に失敗しました");
  }
  return static_cast<uint32_t>(size);
}

void CStdFile::Read(void* buffer, int count) {
  if (count == 0) return;
  if (count < 0 || std::fread(buffer, static_cast<size_t>(count), 1, stream_) != 1) {
    Fail(u" からの読み込みに失敗しました");
  }
}

void CStdFile::Write(const void* buffer, int count) {
  if (count == 0) return;
  if (count < 0 || std::fwrite(buffer, static_cast<size_t>(count), 1, stream_) != 1) {
    Fail(u" への書き込みに失敗しました");
  }
}

void CStdFile::Reserve(uint32_t size) {
  if (size <= kSmallestReserve) return;
  // Only a hint: a stream that cannot do it loses nothing.
  const long position = std::ftell(stream_);
  if (position < 0) return;
  if (std::fseek(stream_, 0, SEEK_END) == 0) {
    const long end = std::ftell(stream_);
    // Writing the last byte of a file that is already long enough would
    // overwrite its data.
    if (end >= 0 && static_cast<uint32_t>(end) < size &&
        std::fseek(stream_, static_cast<long>(size - 1), SEEK_SET) == 0) {
      std::fputc(0, stream_);
    }
  }
  std::clearerr(stream_);
  std::fseek(stream_, position, SEEK_SET);
}

void CStdFile::Flush() {
  // Buffered data that cannot be written is lost data: say so.
  if (std::fflush(stream_) != 0) Fail(u" への書き込みに失敗しました");
}

void ReadFileBytes(const SharedString& name, std::vector<uint8_t>& bytes) {
  CStdFile file(name, u"rb");
  const uint32_t size = file.GetSize();
  bytes.resize(size);
  file.Read(bytes.data(), static_cast<int>(size));
}

void ReadTextFile(const SharedString& name, std::u16string& text) {
  std::vector<uint8_t> bytes;
  ReadFileBytes(name, bytes);
  DecodeText(bytes.data(), bytes.size(), text);
}

void DecodeText(const uint8_t* bytes, size_t size, std::u16string& text) {
  text.clear();
  if (size == 0) return;
  if (size > 2 && size % 2 == 0) {
    const bool little_endian = bytes[0] == 0xFF && bytes[1] == 0xFE;
    const bool big_endian = bytes[0] == 0xFE && bytes[1] == 0xFF;
    if (little_endian || big_endian) {
      text.resize((size - 2) / 2);
      const int low = little_endian ? 0 : 1;
      const uint8_t* units = bytes + 2;
      for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(units[2 * i + low] | units[2 * i + 1 - low] << 8);
      }
      return;
    }
  }
  text = GetDefaultEncoding().ToWide(std::string(reinterpret_cast<const char*>(bytes), size)).Str();
}

void WriteTextFile(const SharedString& name, const SharedString& text) {
  CreateDirectories(name);
  std::vector<uint8_t> bytes;
  bytes.reserve(2 + 2 * text.Length());
  bytes.push_back(0xFF);
  bytes.push_back(0xFE);
  for (char16_t c : text.View()) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }

  // A full disk or a crash halfway must not leave the settings empty.
  WriteFileReplacing(name, u" への書き込みに失敗しました", [&](const SharedString& path) {
    CStdFile file(path, u"w+b");
    file.Write(bytes.data(), static_cast<int>(bytes.size()));
    file.Flush();
  });
}

void WriteFileReplacing(const SharedString& name, const char16_t* failure_suffix,
                        const std::function<void(const SharedString& path)>& write) {
  const uint32_t attributes = GetAttributes(name);
  const bool plain = attributes == kInvalidFileAttributes ||
                     (attributes & ~(kFileAttributeNormal | kFileAttributeArchive)) == 0;
  if (!plain) {
    write(name);
    return;
  }
  // When the new file cannot be made or cannot take the old one's place,
  // the write fails and the old file stays whole: writing it in place
  // instead would bring back the risk the temporary file avoids.
  const SharedString temporary = name + u".tmp";
  try {
    write(temporary);
    ReplaceFileAtomically(temporary, name);
  } catch (const IOException&) {
    Detail::DeleteOneFile(temporary);
    throw IOException(name + failure_suffix);
  } catch (const Win32Exception&) {
    Detail::DeleteOneFile(temporary);
    throw IOException(name + failure_suffix);
  } catch (...) {
    Detail::DeleteOneFile(temporary);
    throw;
  }
}

CFileData::CFileData(const SharedString& name) : name_(name) {
  // Any name in an image folder ends up here, a named pipe too.
  CStdFile file(name, CStdFile::kRegularFileForReading);
  const uint32_t size = file.GetSize();
  if (size == 0) return;
  // A photograph of many megabytes goes where the system can back it with
  // large pages: reading it then costs a few page faults, not thousands.
  const bool large = size >= Detail::kLargePageBytes;
  void* memory = large ? ::operator new (size, std::align_val_t{Detail::kLargePageBytes})
                       : ::operator new(size);
  data_ = std::unique_ptr<uint8_t[], Detail::FileBufferRelease>(static_cast<uint8_t*>(memory),
                                                                Detail::FileBufferRelease{large});
  if (large) Detail::PreferLargePages(memory, size);
  file.Read(data_.get(), static_cast<int>(size));
  size_ = size;
}

void Detail::FileBufferRelease::operator()(uint8_t* bytes) const {
  if (large_page_aligned) {
    ::operator delete (bytes, std::align_val_t{Detail::kLargePageBytes});
  } else {
    ::operator delete(bytes);
  }
}

}  // namespace Orvex
