#pragma once
// Request and reply bodies of the HTTP library: form encodings and gzip, free of any transport.
#include <string>
#include <vector>

namespace vuzod {

struct FormField {
  std::string name;
  std::string value;  // bytes as sent (UTF-16 values are converted to UTF-8 before)
};

struct FormFile {
  std::string name;
  std::string data;
  std::string file_name;
  std::string content_type;  // empty: application/octet-stream
};

// UTF-16 up to its NUL as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromWide(const wchar_t* text);

// application/x-www-form-urlencoded: unreserved bytes stay, blanks become "+", others %XX.
std::string UrlEncodeComponent(const std::string& bytes);
std::string EncodeForm(const std::vector<FormField>& fields);

// A boundary that occurs in none of the parts.
std::string ChooseBoundary(const std::vector<FormField>& fields, const std::vector<FormFile>& files,
                           unsigned seed);
std::string EncodeMultipart(const std::vector<FormField>& fields, const std::vector<FormFile>& files,
                            const std::string& boundary);

// gzip member of the input; false only when zlib fails.
bool GzipCompress(const std::string& input, std::string* output);
// Inflates a gzip or zlib stream. False for a damaged stream or when the result would exceed
// limit bytes (a small compressed reply must not be able to exhaust memory).
bool InflateBounded(const std::string& input, size_t limit, std::string* output);

}  // namespace vuzod
