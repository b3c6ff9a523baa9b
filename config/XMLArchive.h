#pragma once
// Read-only access to an XML file through the system's MSXML DOM: load, select elements by a
// slash-separated path of element names, read attributes as text or integers.
#include <windows.h>
#include <msxml2.h>

#include <string>

#include "common/ComPtr.h"

class CXMLArchiveItemList;

class CXMLArchiveItem {
 public:
  CXMLArchiveItem() = default;
  CXMLArchiveItem(win::ComPtr<IXMLDOMDocument> document, win::ComPtr<IXMLDOMElement> element);
  virtual ~CXMLArchiveItem() = default;

  bool IsValid() const { return document_ && element_; }
  // Raw value; true when the element answered (a missing attribute answers VT_NULL).
  bool GetAttribute(const wchar_t* name, VARIANT* value) const;
  // out = the text, or defaultText (empty when null) when the attribute is missing or not text.
  bool GetStringAttribute(const wchar_t* name, std::wstring& out, const wchar_t* defaultText) const;
  // Decimal, or "0x" hexadecimal of at most ten characters in all; out = defaultValue when unreadable.
  bool GetIntAttribute(const wchar_t* name, int& out, int defaultValue) const;
  // All descendant elements with that name.
  CXMLArchiveItemList GetDescendants(const wchar_t* name) const;

 private:
  win::ComPtr<IXMLDOMDocument> document_;
  win::ComPtr<IXMLDOMElement> element_;
};

class CXMLArchiveItemList {
 public:
  CXMLArchiveItemList() = default;
  CXMLArchiveItemList(win::ComPtr<IXMLDOMDocument> document, win::ComPtr<IXMLDOMNodeList> list);
  virtual ~CXMLArchiveItemList() = default;

  int GetCount() const { return count_; }
  CXMLArchiveItem GetItem(int index) const;
  // Descendant elements named name of the element at index.
  CXMLArchiveItemList GetSubList(int index, const wchar_t* name) const;

 private:
  int count_ = 0;
  win::ComPtr<IXMLDOMDocument> document_;
  win::ComPtr<IXMLDOMNodeList> list_;
};

class CXMLArchive {
 public:
  explicit CXMLArchive(const wchar_t* declaration = L"version='1.0' encoding='utf-16'");
  virtual ~CXMLArchive() = default;

  // The document is present afterwards exactly when the result is not negative.
  HRESULT Open(const wchar_t* path, int create);
  bool IsOpen() const { return static_cast<bool>(document_); }
  CXMLArchiveItemList GetItemList(const wchar_t* path) const;
  CXMLArchiveItem GetFirstItem(const wchar_t* path) const;

 private:
  win::ComPtr<IXMLDOMDocument> document_;
  std::wstring source_;
  std::wstring declaration_;
  int create_ = 0;
};

// Integer text as the archive reads it (leading blanks skipped; "0x" hex of 3..10 characters,
// otherwise decimal). Exposed for the table tests.
int ParseXmlIntText(const wchar_t* text);
