#include "dv/ui/DvWindows.h"

#include "dv/ui/DvCapForm.h"
#include "dv/ui/DvRecordForm.h"
#include "persist/Config.h"
#include "platform/dvgraph/DvGraph.h"

namespace movara {

namespace {
template <class TForm>
QWidget* Open(QWidget* parent) {
  DvSetSimulatorFromSettings(ConfigFileName());
  auto* form = new TForm(ConfigFileName(), parent);
  form->setWindowFlag(Qt::Window, true);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->resize(640, 520);
  form->show();
  return form;
}
}  // namespace

QWidget* OpenDvCapture(QWidget* parent) { return Open<TDvCapForm>(parent); }
QWidget* OpenDvRecord(QWidget* parent) { return Open<TDvRecordForm>(parent); }

}  // namespace movara
