#pragma once
// The editor's recovery copies: offered back at the start, written while it runs.
class QObject;

namespace movara {

class TProjectDocument;

// Turns the document's recovery copies on in RecoveryFolder() under this process, asks
// about the copies left by editors that are gone, then copies the project every
// AutoSaveSeconds of the settings file while it has unsaved changes (a timer of Owner;
// none when the setting is 0). True when a left copy was opened.
bool StartRecovery(TProjectDocument& document, QObject* owner);

}  // namespace movara
