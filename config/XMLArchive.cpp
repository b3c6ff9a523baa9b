#include "config/XMLArchive.h"

#include <cwchar>
#include <vector>

namespace {

// mingw's headers declare these identifiers without defining them anywhere.
const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

constexpr size_t kMaxPathText = 2048;

bool FileExists(const wchar_t* path) {
  DWORD attributes = ::GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Descendant elements named name of element, as a list with its length.
CXMLArchiveItemList DescendantsOf(const win::ComPtr<IXMLDOMDocument>& document, IXMLDOMElement* element,
                                  const wchar_t* name) {
  if (!element || !name || !*name) return CXMLArchiveItemList();
  win::Bstr tag(name);
  if (!tag.get()) return CXMLArchiveItemList();
  win::ComPtr<IXMLDOMNodeList> list;
  if (FAILED(element->getElementsByTagName(tag.get(), list.put())) || !list) return CXMLArchiveItemList();
  return CXMLArchiveItemList(document, list);
}

// The attribute as text, when it is text.
bool ReadTextAttribute(const CXMLArchiveItem& item, const wchar_t* name, std::wstring& text) {
  VARIANT value;
  ::VariantInit(&value);
  bool ok = item.GetAttribute(name, &value) && value.vt == VT_BSTR;
  if (ok) text.assign(value.bstrVal ? value.bstrVal : L"", value.bstrVal ? ::SysStringLen(value.bstrVal) : 0);
  ::VariantClear(&value);
  return ok;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

int ParseXmlIntText(const wchar_t* text) {
  if (!text) return 0;
  while (*text == L' ' || *text == L'\t') ++text;
  size_t n = std::wcslen(text);
  if (n == 0) return 0;
  if (n >= 3 && n <= 10 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    UINT32 value = 0;
    for (const wchar_t* p = text + 2; HexDigit(*p) >= 0; ++p) value = value * 16 + static_cast<UINT32>(HexDigit(*p));
    return static_cast<int>(value);
  }
  return static_cast<int>(std::wcstol(text, nullptr, 10));
}

// ---- CXMLArchiveItem ----

CXMLArchiveItem::CXMLArchiveItem(win::ComPtr<IXMLDOMDocument> document, win::ComPtr<IXMLDOMElement> element)
    : document_(std::move(document)), element_(std::move(element)) {}

bool CXMLArchiveItem::GetAttribute(const wchar_t* name, VARIANT* value) const {
  if (!IsValid() || !name || !*name || !value) return false;
  ::VariantClear(value);
  win::Bstr attribute(name);
  if (!attribute.get()) return false;
  return SUCCEEDED(element_->getAttribute(attribute.get(), value));
}

bool CXMLArchiveItem::GetStringAttribute(const wchar_t* name, std::wstring& out, const wchar_t* defaultText) const {
  if (!IsValid() || !name || !*name) return false;
  std::wstring text;
  if (ReadTextAttribute(*this, name, text)) {
    out = std::move(text);
    return true;
  }
  out = defaultText ? defaultText : L"";
  return false;
}

bool CXMLArchiveItem::GetIntAttribute(const wchar_t* name, int& out, int defaultValue) const {
  if (!IsValid() || !name || !*name) return false;
  out = defaultValue;
  std::wstring text;
  if (!ReadTextAttribute(*this, name, text)) return false;
  out = ParseXmlIntText(text.c_str());
  return true;
}

CXMLArchiveItemList CXMLArchiveItem::GetDescendants(const wchar_t* name) const {
  if (!IsValid()) return CXMLArchiveItemList();
  return DescendantsOf(document_, element_.get(), name);
}

// ---- CXMLArchiveItemList ----

CXMLArchiveItemList::CXMLArchiveItemList(win::ComPtr<IXMLDOMDocument> document, win::ComPtr<IXMLDOMNodeList> list)
    : document_(std::move(document)), list_(std::move(list)) {
  long length = 0;
  if (list_ && SUCCEEDED(list_->get_length(&length)) && length > 0) {
    count_ = static_cast<int>(length);
  } else {
    list_.reset();
  }
}

CXMLArchiveItem CXMLArchiveItemList::GetItem(int index) const {
  if (index < 0 || index >= count_ || !list_) return CXMLArchiveItem();
  win::ComPtr<IXMLDOMNode> node;
  if (FAILED(list_->get_item(index, node.put())) || !node) return CXMLArchiveItem();
  win::ComPtr<IXMLDOMElement> element;
  if (FAILED(node.As(kIidXmlDomElement, &element)) || !element) return CXMLArchiveItem();
  return CXMLArchiveItem(document_, element);
}

CXMLArchiveItemList CXMLArchiveItemList::GetSubList(int index, const wchar_t* name) const {
  CXMLArchiveItem item = GetItem(index);
  return item.GetDescendants(name);
}

// ---- CXMLArchive ----

CXMLArchive::CXMLArchive(const wchar_t* declaration) : declaration_(declaration ? declaration : L"") {}

HRESULT CXMLArchive::Open(const wchar_t* path, int create) {
  document_.reset();
  win::ComPtr<IUnknown> unknown;
  HRESULT hr = ::CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void());
  if (FAILED(hr)) return hr;
  hr = ::OleRun(unknown.get());
  if (FAILED(hr)) return hr;
  win::ComPtr<IXMLDOMDocument> document;
  hr = unknown.As(kIidXmlDomDocument, &document);
  if (FAILED(hr)) return hr;
  if (!document) return E_NOINTERFACE;

  source_ = path ? path : L"";
  create_ = create;
  document->put_preserveWhiteSpace(VARIANT_TRUE);
  document->put_async(VARIANT_FALSE);

  hr = E_FAIL;
  if (path && FileExists(path)) {
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = ::SysAllocString(path);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (source.bstrVal && SUCCEEDED(document->load(source, &loaded)) && loaded == VARIANT_TRUE) hr = S_OK;
    ::VariantClear(&source);
  }
  if (SUCCEEDED(hr)) document_ = std::move(document);
  return hr;
}

CXMLArchiveItemList CXMLArchive::GetItemList(const wchar_t* path) const {
  if (!document_ || create_ != 0 || !path) return CXMLArchiveItemList();
  size_t length = std::wcslen(path);
  if (length < 1 || length > kMaxPathText) return CXMLArchiveItemList();

  // Names up to the first empty one.
  std::vector<std::wstring> names;
  std::wstring current;
  for (size_t i = 0; i <= length; ++i) {
    wchar_t c = path[i];
    if (c == L'/' || c == L'\\' || c == L'\0') {
      if (current.empty()) break;
      names.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (names.size() < 2) return CXMLArchiveItemList();

  win::Bstr first(names[0].c_str());
  if (!first.get()) return CXMLArchiveItemList();
  win::ComPtr<IXMLDOMNodeList> roots;
  if (FAILED(document_->getElementsByTagName(first.get(), roots.put())) || !roots) return CXMLArchiveItemList();
  CXMLArchiveItemList list = CXMLArchiveItemList(document_, roots).GetSubList(0, names[1].c_str());
  for (size_t i = 2; i < names.size() && list.GetCount() > 0; ++i) list = list.GetSubList(0, names[i].c_str());
  return list;
}

CXMLArchiveItem CXMLArchive::GetFirstItem(const wchar_t* path) const {
  return GetItemList(path).GetItem(0);
}
