#pragma once
// The Qt side of the open project's events. The models hold one std::function per
// event; these adapters take that one place and re-emit each event as a Qt signal that
// any number of windows connect to. One adapter per model, made once by the program
// next to the document it serves.
#include <QObject>
#include <QString>

namespace movara {

class TClipBox;
class TProjectDocument;

// The resource list's events.
class TClipBoxSignals : public QObject {
  Q_OBJECT
 public:
  explicit TClipBoxSignals(TClipBox& box, QObject* parent = nullptr);
  ~TClipBoxSignals() override;
  TClipBox& Box() const { return FBox; }

 signals:
  void changed();                           // thumbnails added, removed, reordered or used
  void clearPreview();                      // the preview's script must be cleared
  void editPage(const QString& fileName);   // a title page thumbnail was double-clicked
  void killBitmap(int bitmapId);            // a render-engine picture is released

 private:
  TClipBox& FBox;
};

// The document's events, and the adapter of its resource list.
class TDocumentSignals : public QObject {
  Q_OBJECT
 public:
  explicit TDocumentSignals(TProjectDocument& document, QObject* parent = nullptr);
  ~TDocumentSignals() override;
  TProjectDocument& Document() const { return FDocument; }
  TClipBoxSignals& ClipBox() { return FClipBox; }

 signals:
  void fileNameChanged();
  void opened();   // a project file was read in
  void cleared();  // a new, empty project

 private:
  TProjectDocument& FDocument;
  TClipBoxSignals FClipBox;
};

}  // namespace movara
