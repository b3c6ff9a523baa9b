#include "startup/EntrySeams.h"

#include <string>

#include "layerui/LayerResource.h"
#include "windows/MessageBox.h"

int ShowEntryMessage(const wchar_t* text, int style) { return LayerMessageBox(nullptr, text, style); }

void SetEntryMessagesSuppressed(bool suppressed) { SetMessageBoxSuppressed(suppressed ? 1 : 0); }

void InitUiResources() {
  if (UIFontFace* face = UIFontFace::Instance()) face->ChooseFace();
  static ResInitializer resources;  // once per process
}

void ReleaseUiResources() {
  if (LayerResourceCache* cache = LayerResourceCache::Instance()) cache->ReleaseResources();
}

// Returns at once: without the main window there is no dialogue and no uninstall to drive.
void RunMainWindow(HINSTANCE) {}
