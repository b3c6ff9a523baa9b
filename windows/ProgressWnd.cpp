#include "windows/ProgressWnd.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>

#include "common/RegistryText.h"
#include "engine/UninstallTask.h"
#include "layerui/LayerResource.h"
#include "services/Codecs.h"
#include "services/ServiceRequests.h"
#include "services/Statistic.h"
#include "startup/CommandParser.h"
#include "windows/WindowLog.h"

namespace {

using ProgressIds = CLayerIdCounter<CProgressWnd, kLayerIdBaseMain>;

const wchar_t kAppKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe";
const wchar_t kUninstallDateKey[] = L"Software\\orbWallPaperEver";
const UINT kFlowDismissed = 4;  // (4, 0): the dialogue is over

bool IsSilentRun() {
  CCommandParser* parser = CCommandParser::Instance();
  return parser && parser->IsSilent();
}

void Report(const wchar_t* action, const wchar_t* extra = nullptr) {
  if (CStatistic* statistic = CStatistic::Instance()) statistic->Report(action, extra, false);
}

std::wstring QuestionnaireUrl() {
  CUninstallConfig* config = CUninstallConfig::Instance();
  return config ? config->GetQuestionnaireUrl() : std::wstring();
}

std::wstring LocalTimeText() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  wchar_t text[32] = {};
  ::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
  return text;
}

void WriteUninstallDate() {
  win::SetUnterminatedText(HKEY_CURRENT_USER, kUninstallDateKey, L"unistdate", LocalTimeText());  // may fail: ignored
}

std::wstring ReadInstallDate() {
  wchar_t buffer[260] = {};
  DWORD type = 0, size = sizeof(buffer) - sizeof(wchar_t);
  if (::SHGetValueW(HKEY_LOCAL_MACHINE, kAppKey, L"InstallDate", &type, buffer, &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::wstring();
  return buffer;
}

time_t LocalMidnight(int year, int month, int day) {
  tm date{};
  date.tm_year = year - 1900;
  date.tm_mon = month - 1;
  date.tm_mday = day;
  date.tm_isdst = -1;
  return ::mktime(&date);
}

bool IsEscapedInDate(unsigned char byte) {
  static const char kDelimiters[] = "\"#$&+,;<=>?@[\\]^`{|}";
  return byte < 0x21 || byte > 0x7E || std::strchr(kDelimiters, byte) != nullptr;
}

}  // namespace

namespace finish_rules {

int DaysInstalled(const std::wstring& install_date, time_t now) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (install_date.empty() ||
      ::swscanf(install_date.c_str(), L"%04d-%02d-%02d %02d:%02d:%02d", &year, &month, &day, &hour, &minute,
                &second) != 6)
    return 0;
  tm today{};
  if (::localtime_s(&today, &now) != 0) return 0;
  time_t today_midnight = LocalMidnight(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday);
  time_t install_midnight = LocalMidnight(year, month, day);
  // A date the conversion cannot represent (before 1970, say) counts as no date.
  if (today_midnight == static_cast<time_t>(-1) || install_midnight == static_cast<time_t>(-1)) return 0;
  return static_cast<int>((today_midnight - install_midnight) / 86400);
}

std::wstring EscapeInstallDate(const std::wstring& install_date) {
  static const char kHex[] = "0123456789abcdef";
  std::string escaped;
  for (unsigned char byte : codecs::WideToUtf8(install_date)) {
    if (IsEscapedInDate(byte)) {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += static_cast<char>(byte);
    }
  }
  std::wstring wide = codecs::Utf8ToWide(escaped);
  if (wide.size() > 2600) wide.resize(2600);
  return wide;
}

std::wstring FinishReportExtra(int days, const std::wstring& escaped_date) {
  return L"&ex1=" + std::to_wstring(days) + L"&ex2=" + escaped_date;
}

std::wstring QuestionnaireAddress(const std::wstring& url) {
  return url.find(L"http") == std::wstring::npos ? L"http://" + url : url;
}

}  // namespace finish_rules

// ---- IBaseWnd ----

void CProgressWnd::ShowWnd() {
  if (!IsSilentRun()) {
    if (!m_hWnd) CreateLayer(nullptr);
    if (m_hWnd) ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
  }
  if (IUninstallTask* task = GetUninstallTask()) task->StartUninstall(this);
}

void CProgressWnd::HideWnd() {
  if (m_hWnd) ::ShowWindow(m_hWnd, SW_HIDE);
}

void CProgressWnd::DestroyWnd() {
  if (m_hWnd) ::DestroyWindow(m_hWnd);
}

// ---- IUninstallCallback ----

void CProgressWnd::OnStart() {
  WindowLog(L"OnUninstallStart callback...");
  std::wstring date = ReadInstallDate();
  if (!date.empty()) install_date_ = date;
}

void CProgressWnd::OnProgress(int percent) {
  if (auto* bar = static_cast<CLayerProgress*>(m_hWnd ? GetRootView()->FindChild(kProgressId) : nullptr))
    bar->SetPos(static_cast<unsigned long long>(percent), TRUE);
  WindowLog(L"Progress: %d", percent);
}

void CProgressWnd::OnFinish() {
  if (!end_event_) end_event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  WriteUninstallDate();
  int days = finish_rules::DaysInstalled(install_date_, ::time(nullptr));
  Report(L"uninstall_2",
         finish_rules::FinishReportExtra(days, finish_rules::EscapeInstallDate(install_date_)).c_str());
  if (IsSilentRun()) {
    EndDialogue();
    return;
  }
  CLayerControlRootView* root = GetRootView();
  if (m_hWnd) {
    root->ShowChild(kProgressId, FALSE, FALSE);
    root->ShowChild(kStatusId, FALSE, FALSE);
    if (!QuestionnaireUrl().empty() && invitation_) {
      invitation_->SetVisible(TRUE, FALSE);
      Report(L"question_show");
    } else {
      root->ShowChild(kDoneId, TRUE, FALSE);
      root->ShowChild(kThanksId, TRUE, FALSE);
    }
    InvalidateLayer(nullptr, TRUE);
  }
  finished_ = 1;
  WindowLog(L"uninstall end callback");
}

void CProgressWnd::OnUninstallEnd() {
  if (end_event_) ::SetEvent(end_event_.get());
  WindowLog(L"CInstallingModel::OnRealInstallEnd");
}

// ---- window ----

void CProgressWnd::OnLayerCreate() {
  RECT parent{};
  if (pos_parent_ && ::GetWindowRect(pos_parent_, &parent))
    ::SetWindowPos(m_hWnd, nullptr, parent.left, parent.top, kWidth, kHeight, SWP_NOREDRAW | SWP_NOZORDER);
  else
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOREDRAW | SWP_NOZORDER | SWP_NOMOVE);
  CreateControls();
}

void CProgressWnd::DrawBackground(HDC hdc, RECT rect) { FillLayerRect(hdc, rect, RGB(255, 255, 255), 254); }

namespace {

template <class Control>
Control* AddControl(CLayerControlGroup* parent, HWND wnd, ILayerWindow* host, int id, const RECT& rect) {
  auto* control = new Control;  // the group owns its children and releases them
  control->Create(wnd, host, id, rect, 0);
  parent->AddChild(control);
  return control;
}

void SetLabel(CLayerControlBase* control, const wchar_t* text, UINT format, COLORREF color, int font) {
  LayerResourceCache* cache = LayerResourceCache::Instance();
  control->SetText(text, FALSE);
  control->SetTextFormat(format);
  control->SetTextColor(color, FALSE);
  control->SetFont(cache ? cache->GetFont(font) : nullptr);
}

CImage* Image(int id) {
  LayerResourceCache* cache = LayerResourceCache::Instance();
  return cache ? cache->GetImage(id, wf::ModuleInstance()) : nullptr;
}

}  // namespace

void CProgressWnd::CreateControls() {
  CLayerControlRootView* root = GetRootView();
  const int W = kWidth, H = kHeight;

  auto* back = AddControl<CLayerImageCtrl>(root, m_hWnd, this, ProgressIds::Next(), RECT{0, 0, W, H});
  RECT centre{0, 100, 542, 300};
  back->SetNineGrid(&centre);
  back->SetImage(Image(300), FALSE);

  auto* close = AddControl<CLayerButtonCtrl>(root, m_hWnd, this, kCloseId, RECT{W - 28, 16, W - 10, 34});
  close->SetImage(Image(301));

  auto* status = AddControl<CLayerLabelCtrl>(root, m_hWnd, this, kStatusId, RECT{0, 110, W, 133});
  SetLabel(status, L"正在卸载...", 0x11, RGB(0x66, 0x66, 0x66), 1009);

  auto* bar = AddControl<CLayerProgress>(root, m_hWnd, this, kProgressId, RECT{26, 163, 26 + 489, 163 + 23});
  bar->SetRange(100, FALSE);
  bar->SetBackImage(Image(247), 0, 0);
  bar->SetBarImage(Image(248), 0, 0);

  auto* thanks = AddControl<CLayerLabelCtrl>(root, m_hWnd, this, kThanksId, RECT{0, 110, W, 130});
  SetLabel(thanks, L"卸载已经完成，感谢您的使用。期待与你下次再见。", 0x10, RGB(0x66, 0x66, 0x66), 1009);
  thanks->SetVisible(FALSE, FALSE);

  auto* done = AddControl<CLayerButtonCtrl>(root, m_hWnd, this, kDoneId, RECT{123, 170, 123 + 296, 170 + 41});
  done->SetImage(Image(304));
  SetLabel(done, L"完成", 0x1011, RGB(0xFF, 0xFF, 0xFF), 1009);
  done->SetVisible(FALSE, FALSE);

  CreateInvitationGroup();
}

void CProgressWnd::CreateInvitationGroup() {
  const int W = kWidth, H = kHeight;
  invitation_ = AddControl<CLayerControlGroup>(GetRootView(), m_hWnd, this, ProgressIds::Next(), RECT{0, 50, W, H});
  // Children are placed relative to the group, which starts 50 pixels down.
  auto at = [](int x, int y, int w, int h) { return RECT{x, 50 + y, x + w, 50 + y + h}; };

  auto* picture = AddControl<CLayerImageCtrl>(invitation_, m_hWnd, this, ProgressIds::Next(), at(22, 45, 60, 60));
  picture->SetCentered();
  picture->SetImage(Image(252), FALSE);

  auto* ask = AddControl<CLayerLabelCtrl>(invitation_, m_hWnd, this, ProgressIds::Next(), at(90, 50, 450, 20));
  SetLabel(ask, L"卸载完成，是否愿意填写卸载问卷，帮助我们改进产品？", 0x1, RGB(0x66, 0x66, 0x66), 1009);
  auto* reward = AddControl<CLayerLabelCtrl>(invitation_, m_hWnd, this, ProgressIds::Next(), at(90, 76, 441, 20));
  SetLabel(reward, L"前1000名参与调研的用户，即可分享大额红包！", 0x1, RGB(0x66, 0x66, 0x66), 1009);

  auto* decline = AddControl<CLayerButtonCtrl>(invitation_, m_hWnd, this, kDeclineId, at(292, 134, 96, 32));
  decline->SetImage(Image(307));
  SetLabel(decline, L"不愿意", 0x1011, RGB(0xFF, 0xFF, 0xFF), 1003);
  auto* accept = AddControl<CLayerButtonCtrl>(invitation_, m_hWnd, this, kAcceptId, at(418, 134, 96, 32));
  accept->SetImage(Image(323));
  SetLabel(accept, L"好呀好呀", 0x1011, RGB(0xFF, 0xFF, 0xFF), 1003);

  invitation_->SetVisible(FALSE, FALSE);
}

LRESULT CProgressWnd::OnCommand(UINT, WPARAM w, LPARAM, BOOL& handled) {
  switch (LOWORD(w)) {
    case kCloseId:
      if (finished_) EndDialogue();
      return 0;
    case kDoneId:
    case kDeclineId:
      EndDialogue();
      return 0;
    case kAcceptId:
      OpenQuestionnaire();
      return 0;
    default:
      handled = FALSE;
      return 0;
  }
}

// Closing is refused while the uninstall runs.
LRESULT CProgressWnd::OnCloseMsg(UINT, WPARAM, LPARAM, BOOL&) {
  if (finished_) EndDialogue();
  return 0;
}

void CProgressWnd::EndDialogue() {
  HideWnd();
  if (notify_) ::PostMessageW(notify_, WM_FLOW_NOTIFY, kFlowDismissed, 0);
}

void CProgressWnd::OpenQuestionnaire() {
  std::wstring address = finish_rules::QuestionnaireAddress(QuestionnaireUrl());
  ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  Report(L"question_yes");
  EndDialogue();
}
