#pragma once
// Authenticode tests of files the uninstaller is about to load, start or delete.
#include <string>

// True when the file carries a valid embedded signature whose signer's simple display name
// is one of the product's publishers (exact letter case). Chains that end in an untrusted
// root or in an expired certificate still count. Below Windows Vista any existing path passes.
bool IsSignedByMaker(const wchar_t* path);
// Like IsSignedByMaker, but the signer must be the given one (letter case ignored) and an
// untrusted root fails. A null signer passes at once.
bool IsSignedBy(const wchar_t* path, const wchar_t* signer);

namespace signature {
// The publishers' simple display names.
extern const wchar_t* const kPublishers[18];
bool IsPublisherName(const wchar_t* name);
}  // namespace signature
