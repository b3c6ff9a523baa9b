#include "startup/EntrySeams.h"

#include <string>

#include "layerui/LayerResource.h"
#include "startup/CommandParser.h"
#include "windows/MessageBox.h"
#include "windows/SilentUninstall.h"

int ShowEntryMessage(const wchar_t* text, int style) { return LayerMessageBox(nullptr, text, style); }

void SetEntryMessagesSuppressed(bool suppressed) { SetMessageBoxSuppressed(suppressed ? 1 : 0); }

void InitUiResources() {
  if (UIFontFace* face = UIFontFace::Instance()) face->ChooseFace();
  static ResInitializer resources;  // once per process
}

void ReleaseUiResources() {
  if (LayerResourceCache* cache = LayerResourceCache::Instance()) cache->ReleaseResources();
}

// A silent run needs no dialogue: the uninstall runs at once. The interactive dialogue's main
// window is not part of this program yet, so an interactive run ends here without uninstalling.
void RunMainWindow(HINSTANCE) {
  CCommandParser* parser = CCommandParser::Instance();
  if (parser && parser->IsSilent()) RunSilentUninstall();
}
