#pragma once
// Entry points of the DV windows for the main window's tool bar: "Wychwyt" opens the
// capture window, "Zgrywanie" the record window. Each opens a window of its own (freed
// when closed) and first takes the simulated camera's tape from $MOVARA_DV_TAPE or the
// settings file.
class QWidget;

namespace movara {

QWidget* OpenDvCapture(QWidget* parent);
QWidget* OpenDvRecord(QWidget* parent);

}  // namespace movara
