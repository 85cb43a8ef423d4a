#include "vgm/vgm_gzip.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

namespace opl2::vgm {
namespace {

constexpr int kGzipWindowBits = 15 + 16;  // the largest window, gzip wrapper
constexpr size_t kChunk = 1 << 16;

}  // namespace

bool IsGzip(const uint8_t* data, size_t size) {
  return size >= 2 && data[0] == 0x1F && data[1] == 0x8B;
}

bool IsVgzName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".vgz";
}

bool Gzip(const uint8_t* data, size_t size, std::vector<uint8_t>* out, std::string* error) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 9, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    *error = "cannot start the compressor";
    return false;
  }
  // The header names Unix (3) as the system whatever zlib was built for, so
  // a song gives the same .vgz bytes on every system.
  gz_header header{};
  header.os = 3;
  deflateSetHeader(&z, &header);
  out->clear();
  size_t in_done = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    const size_t in_now = std::min<size_t>(size - in_done, UINT32_MAX / 2);
    z.next_in = const_cast<Bytef*>(data + in_done);
    z.avail_in = static_cast<uInt>(in_now);
    const size_t at = out->size();
    out->resize(at + kChunk);
    z.next_out = out->data() + at;
    z.avail_out = kChunk;
    const bool last = in_done + in_now == size;
    status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
    in_done += in_now - z.avail_in;
    out->resize(out->size() - z.avail_out);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      deflateEnd(&z);
      *error = "compression failed";
      return false;
    }
  }
  deflateEnd(&z);
  return true;
}

bool Gunzip(const uint8_t* data, size_t size, uint64_t max_size, std::vector<uint8_t>* out,
            std::string* error) {
  z_stream z{};
  if (inflateInit2(&z, kGzipWindowBits) != Z_OK) {
    *error = "cannot start the decompressor";
    return false;
  }
  out->clear();
  size_t in_done = 0;
  for (;;) {
    const size_t in_now = std::min<size_t>(size - in_done, UINT32_MAX / 2);
    z.next_in = const_cast<Bytef*>(data + in_done);
    z.avail_in = static_cast<uInt>(in_now);
    const size_t at = out->size();
    out->resize(at + kChunk);
    z.next_out = out->data() + at;
    z.avail_out = kChunk;
    const int status = inflate(&z, Z_NO_FLUSH);
    in_done += in_now - z.avail_in;
    out->resize(out->size() - z.avail_out);
    if (out->size() > max_size) {
      inflateEnd(&z);
      *error = "it decompresses to more than " + std::to_string(max_size) + " bytes";
      return false;
    }
    if (status == Z_STREAM_END) {
      if (in_done == size) break;
      if (!IsGzip(data + in_done, size - in_done)) {
        inflateEnd(&z);
        *error = "bytes after the end of the compressed data";
        return false;
      }
      inflateReset(&z);  // the next member
      continue;
    }
    if ((status == Z_OK || status == Z_BUF_ERROR) && in_done == size && z.avail_out != 0) {
      inflateEnd(&z);
      *error = "the compressed data is cut short";
      return false;
    }
    if (status != Z_OK && status != Z_BUF_ERROR) {
      inflateEnd(&z);
      *error = std::string("damaged compressed data") + (z.msg != nullptr ? ": " : "") +
               (z.msg != nullptr ? z.msg : "");
      return false;
    }
  }
  inflateEnd(&z);
  return true;
}

}  // namespace opl2::vgm
