#include "product/VuzOD/FormBody.h"

#include <zlib.h>
#include <cstdio>
#include <cstring>

namespace vuzod {

std::string Utf8FromWide(const wchar_t* text) {
  std::string out;
  if (!text) return out;
  for (const wchar_t* p = text; *p; ++p) {
    unsigned cp = static_cast<unsigned>(*p) & 0xFFFF;
    if (cp >= 0xD800 && cp <= 0xDBFF && (p[1] & 0xFC00) == 0xDC00) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + ((static_cast<unsigned>(p[1]) & 0xFFFF) - 0xDC00);
      ++p;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string UrlEncodeComponent(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (unsigned char c : bytes) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '*') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string EncodeForm(const std::vector<FormField>& fields) {
  std::string out;
  for (const FormField& f : fields) {
    if (!out.empty()) out += '&';
    out += UrlEncodeComponent(f.name);
    out += '=';
    out += UrlEncodeComponent(f.value);
  }
  return out;
}

std::string ChooseBoundary(const std::vector<FormField>& fields, const std::vector<FormFile>& files,
                           unsigned seed) {
  for (unsigned attempt = 0;; ++attempt) {
    char text[64];
    std::snprintf(text, sizeof(text), "----VuzODFormBoundary%08x%04x", seed, attempt);
    std::string boundary = text;
    bool clash = false;
    for (const FormField& f : fields) clash = clash || f.value.find(boundary) != std::string::npos;
    for (const FormFile& f : files) clash = clash || f.data.find(boundary) != std::string::npos;
    if (!clash) return boundary;
  }
}

namespace {
// Quotes and line breaks would end the header parameter early.
std::string HeaderParam(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"') out += "%22";
    else if (c == '\r') out += "%0D";
    else if (c == '\n') out += "%0A";
    else out += c;
  }
  return out;
}
}  // namespace

std::string EncodeMultipart(const std::vector<FormField>& fields, const std::vector<FormFile>& files,
                            const std::string& boundary) {
  std::string out;
  for (const FormField& f : fields) {
    out += "--" + boundary + "\r\n";
    out += "Content-Disposition: form-data; name=\"" + HeaderParam(f.name) + "\"\r\n\r\n";
    out += f.value + "\r\n";
  }
  for (const FormFile& f : files) {
    out += "--" + boundary + "\r\n";
    out += "Content-Disposition: form-data; name=\"" + HeaderParam(f.name) + "\"; filename=\"" +
           HeaderParam(f.file_name) + "\"\r\n";
    out += "Content-Type: " + HeaderParam(f.content_type.empty() ? "application/octet-stream" : f.content_type) +
           "\r\n\r\n";
    out += f.data + "\r\n";
  }
  out += "--" + boundary + "--\r\n";
  return out;
}

bool GzipCompress(const std::string& input, std::string* output) {
  z_stream zs;
  std::memset(&zs, 0, sizeof(zs));
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  std::string out(deflateBound(&zs, static_cast<uLong>(input.size())) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  zs.avail_in = static_cast<uInt>(input.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&zs, Z_FINISH);
  size_t produced = out.size() - zs.avail_out;
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) return false;
  out.resize(produced);
  output->swap(out);
  return true;
}

bool InflateBounded(const std::string& input, size_t limit, std::string* output) {
  z_stream zs;
  std::memset(&zs, 0, sizeof(zs));
  if (inflateInit2(&zs, 15 + 32) != Z_OK) return false;  // gzip or zlib header
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  zs.avail_in = static_cast<uInt>(input.size());
  std::string out;
  char chunk[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(chunk);
    zs.avail_out = sizeof(chunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    size_t got = sizeof(chunk) - zs.avail_out;
    if (out.size() + got > limit) { rc = Z_MEM_ERROR; break; }
    out.append(chunk, got);
    if (rc == Z_OK && got == 0 && zs.avail_in == 0) { rc = Z_DATA_ERROR; break; }  // truncated
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return false;
  output->swap(out);
  return true;
}

}  // namespace vuzod
