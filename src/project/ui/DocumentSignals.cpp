#include "project/ui/DocumentSignals.h"

#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"

namespace movara {

TClipBoxSignals::TClipBoxSignals(TClipBox& box, QObject* parent) : QObject(parent), FBox(box) {
  FBox.OnChange = [this] { emit changed(); };
  FBox.OnClearPreview = [this] { emit clearPreview(); };
  FBox.OnEditPage = [this](const std::string& name) { emit editPage(QString::fromStdString(name)); };
  FBox.OnKillBitmap = [this](int id) { emit killBitmap(id); };
}

TClipBoxSignals::~TClipBoxSignals() {
  FBox.OnChange = nullptr;
  FBox.OnClearPreview = nullptr;
  FBox.OnEditPage = nullptr;
  FBox.OnKillBitmap = nullptr;
}

TDocumentSignals::TDocumentSignals(TProjectDocument& document, QObject* parent)
    : QObject(parent), FDocument(document), FClipBox(document.ClipBox()) {
  FDocument.OnFileNameChanged = [this] { emit fileNameChanged(); };
  FDocument.OnOpened = [this] { emit opened(); };
  FDocument.OnCleared = [this] { emit cleared(); };
}

TDocumentSignals::~TDocumentSignals() {
  FDocument.OnFileNameChanged = nullptr;
  FDocument.OnOpened = nullptr;
  FDocument.OnCleared = nullptr;
}

}  // namespace movara
