#include "dv/DvMessages.h"

#include <cstdio>

namespace movara {

namespace {

struct TDvMessage {
  const char* English;
  const char* Polish;
};

const TDvMessage DvMessageTable[kDvMessageCount] = {
    /* 0 */ {"Cannot create the preview", "Brak możliwożliwości utworzenia podglądu"},
    /* 1 */ {"Error $%x: Cannot prepare the capture filter. Check that the camera is connected and switched on, then try again.",
             "Nie można przygotować filtra wychwytu. Sprawdź czy kamera jest poprawnie podłączona do komputera, włącz jej zasilanie i spróbuj ponowić całą operację. (Błąd nr $%x)"},
    /* 2 */ {"Error $%x: Capture filter output not found. Check that the camera is switched on.",
             "Nie znalezione wyjście filtra wychwytu. Sprawdź czy zasilanie kamery jest włączone. (Błąd nr $%x)"},
    /* 3 */ {"Error $%x: Capture filter input not found. Check that the camera is switched on.",
             "Nie znalezione wejście filtra wychwytu. Sprawdź czy zasilanie kamery jest włączone. (Błąd nr $%x)"},
    /* 4 */ {"Error $%x: Cannot find the IAMStreamConfig interface. Capture is impossible.",
             "Nie można znależć interface`u IAMStreamConfig. Wychwyt jest niemożliwy. (Błąd nr $%x)"},
    /* 5 */ {"Cannot initialise the graph. Capture is impossible.",
             "Nie można zainicjalizować graf`u. Wuchwyt jest niemożliwy."},
    /* 6 */ {"Error $%x: Cannot add the capture filter to the graph. Capture is impossible.",
             "Nie można dodać filtra wychwytu do grafu. Wychwyt jest niemożliwy. (Błąd nr $%x)"},
    /* 7 */ {"Cannot create the DV Splitter filter. Capture is impossible",
             "Nie można utworzyć filtra DVSplitter. Wychwyt jest niemożliwy"},
    /* 8 */ {"Error $%x: Cannot add the \"DV Splitter\" filter to the graph. Capture is impossible.",
             "Nie można dodać filtra \"DV Spliter\" do grafu. Wychwyt jest niemożliwy. (Błąd nr $%x)"},
    /* 9 */ {"Cannot connect the \"DV Splitter\" filter. Capture is impossible.",
             "Nie można połączyć filtra \"DV Splitter\". Wychwyt jest niemożliwy."},
    /* 10 */ {"Cannot create the 2 GB file writer. Register AMFW2GB.AX. Capture is impossible.",
              "Nie można utworzyć filtra rozdzielającego na 2GB. Zarejestruj plik AMFW2GB.AX. Wychwyt jest niemożliwy."},
    /* 11 */ {"Error $%x: Cannot create the IFileSinkFilter interface. Capture is impossible.",
              "Nie można utworzyć interfejsu IFileSinkFilter. Wychwyt jest niemożliwy. (Błąd nr $%x)"},
    /* 12 */ {"Error $%x: Cannot set the given file name. Capture is impossible.",
              "Nie można ustalić podaną nazwę pliku. Wychwyt jest niemożliwy. (Błąd nr $%x)"},
    /* 13 */ {"Error $%x: Cannot add the AviMuxFileWriter2GB filter to the graph. Capture is impossible.",
              "Nie można dodać filtra AviMuxFileWriter2GB do grafu. Wychwyt jest niemożliwy. (Błąd nr $%x)"},
    /* 14 */ {"Cannot connect the AviMuxFileWriter2GB filter. Capture is impossible.",
              "Nie można połączyć filtra AviMuxFileWriter2GB. Wychwyt jest niemożliwy."},
    /* 15 */ {"Cannot create the DV Video Decoder. Preview is impossible.",
              "Nie można utworzyć dekodera DV (DV Video Decoder). Podgląd jest niemożliwy."},
    /* 16 */ {"Error $%x: Cannot add the \"DV Video Decoder\" filter to the graph. Preview is impossible.",
              "Nie można dodać filtra \"DV Video Decoder\" do grafu. Podgląd jest niemożliwy. (Błąd nr $%x)"},
    /* 17 */ {"Cannot connect the \"DV Video Decoder\" filter. Preview is impossible.\nAVI files must be in DV format!",
              "Nie można połączyć filtra \"DV Video Decoder\". Podgląd jest niemożliwy.\nPliki avi muszą być zgodne z formatem DV!"},
    /* 18 */ {"Cannot create the \"Video Renderer\" filter. Preview is impossible.",
              "Nie można utworzyć filtra \"Video Render\". Podgląd jest niemożliwy."},
    /* 19 */ {"Error $%x: Cannot add the \"Video Renderer\" filter to the graph. Preview is impossible.",
              "Nie można dodać filtra \"Video Render\" do grafu. Podgląd jest niemożliwy. (Błąd nr $%x)"},
    /* 20 */ {"Cannot connect the \"Video Renderer\" filter. Preview is impossible.",
              "Nie można połączyć filtra \"Video Render\". Podgląd jest niemożliwy."},
    /* 21 */ {"Cannot create the \"Audio Renderer\" filter.", "Nie można utworzyć filtra \"Audio Renderer\"."},
    /* 22 */ {"Error $%x: Cannot add the \"Audio Renderer\" filter to the graph.",
              "Nie można dodać filtra \"Audio Renderer\" do grafu. (Błąd nr $%x)"},
    /* 23 */ {"Cannot connect the \"Audio Renderer\" filter.", "Nie można połąć filtra \"Audio Renderer\"."},
    /* 24 */ {"Capture with preview at the same time is not implemented!",
              "Wychwyt i podgląd jednocześnie jest niemożliwy z braku implementacji !"},
    /* 25 */ {"Error $%x: Cannot connect the \"Avi Mux File Writer 2GB\" filter.",
              "Nie można połączyć filtra \"Avi Mux File Writer 2GB\". (Błąd nr $%x)"},
    /* 26 */ {"Error $%x: Cannot connect the \"DV Splitter\" filter.", "Nie można połączyć filtra \"DV Splitter\". (Błąd nr $%x)"},
    /* 27 */ {"Error $%x: Cannot connect the \"DV Video Decoder\" filter.",
              "Nie można połączyć filtra \"DV Video Decoder\". (Błąd nr $%x)"},
    /* 28 */ {"Error $%x: Cannot connect the \"Video Renderer\" filter.",
              "Nie można połączyć filtra \"Video Renderer\". (Błąd nr $%x)"},
    /* 29 */ {"Error $%x: Cannot connect the \"Audio Renderer\" filter.",
              "Nie można połączyć filtra \"Audio Renderer\". (Błąd nr $%x)"},
    /* 30 */ {"Error $%x: Cannot run the graph. If this happens again, restart the system.",
              "Nie można uruchomić grafu. W przypadku powtórzenia się tego błędu zrestartuj system Windows. (Błąd nr $%x)"},
    /* 31 */ {"Error $%x: Cannot run the graph. If this happens again, restart the system.",
              "Nie można uruchomić grafu. W przypadku powtórzenia się tego błędu zrestartuj system Windows. (Błąd nr $%x)"},
    /* 32 */ {"Error $%x: Cannot stop the graph. If this happens again, restart the system.",
              "Nie można zatrzymać grafu. W przypadku powtórzenia się tego błędu zrestartuj system Windows. (Błąd nr $%x)"},
    /* 33 */ {"Error $%x: Cannot create the IMediaControl interface. Capture is impossible.",
              "Nie można utworzyć interfejsu IMediaControl. Wychwyt jest niemożliwy. (Błąd nr $%x)"},
    /* 34 */ {"ERROR during capture - disk possibly full", "Błąd w czasie wychwytu - prawdopodobnie dysk jest zapełniony."},
    /* 35 */ {"Error $%x: Cannot create the \"File Source (Async)\" filter. AVI file preview is impossible.",
              "Nie można utworzyć filtra \"File Source (Async)\" . Podgląd pliku avi jest niemożliwy. (Błąd nr $%x)"},
    /* 36 */ {"Error $%x: Cannot add the \"File Source (Async)\" filter to the graph.",
              "Nie można dodać filtra \"File Source (Async)\" do grafu. (Błąd nr $%x)"},
    /* 37 */ {"Error $%x: Cannot load the required AVI file.", "Nie można załadować wymaganego pliku avi. (Błąd nr $%x)"},
    /* 38 */ {"Cannot create the \"AVI Splitter\" filter. AVI file preview is impossible.",
              "Nie można utworzyć filtra \"AVI Splitter\" . Podgląd pliku avi jest niemożliwy."},
    /* 39 */ {"Error $%x: Cannot add the \"AVI Splitter\" filter to the graph. AVI file preview is impossible.",
              "Nie dodać filtra \"AVI Splitter\" do grafu. Podgląd pliku avi jest niemożliwy. (Błąd nr $%x)"},
    /* 40 */ {"Cannot connect the \"AVI Splitter\" filter. AVI file preview is impossible.",
              "Nie można połączyć filtra \"AVI Splitter\" . Podgląd pliku avi jest niemożliwy."},
    /* 41 */ {"Error $%x: Cannot create the \"AVI Mux\" filter.", "Nie można utworzyć filtra \"AVI Mux\". (Błąd nr $%x)"},
    /* 42 */ {"Error $%x: Cannot add the \"AVI Mux\" filter to the graph.", "Nie można dodać filtra \"AVI Mux\" do grafu. (Błąd $%x)"},
    /* 43 */ {"Error $%x: Cannot connect the \"AVI Mux\" filter.", "Nie można połączyć filtra \"AVI Mux\". (Błąd $%x)"},
    /* 44 */ {"Error $%x: Cannot connect the \"Ms Camcoder\" filter to \"Dv Mux\".",
              "Nie można połączyć filtra \"Ms Camcoder\" do \"Dv Mux\". (Błąd $%x)"},
    /* 45 */ {"Error $%x: Cannot connect the \"Dv Mux\" filter to \"Avi Splitter\".",
              "Nie można połączyć filtra \"Dv Mux\" z \"Avi Splitter\". (Błąd nr $%x)"},
    /* 46 */ {"Error $%x: Cannot connect the \"Ms Camcoder\" filter to \"Dv Mux\".",
              "Nie można połączyć filtra \"Ms Camcoder\" z \"Dv Mux\". (Błąd nr $%x)"},
    /* 47 */ {"Error $%x: Cannot pause the graph. If this happens again, restart the system.",
              "Nie można wstrzymać grafu. W przypadku powtórzenia się tego błędu zrestartuj system Windows. (Błąd nr $%x)"},
    /* 48 */ {"Error $%x: Cannot create enumerator of Video Input Device Category",
              "Nie można znaleźć urządzeń cyfrowych DV. Sprawdź czy zainstalowane są sterowniki karty DV oraz czy podłączona jest kamera. (Błąd nr $%x)"},
};

}  // namespace

std::string DvMessageTemplate(int n, int language) {
  if (n < 0 || n >= kDvMessageCount) return "";
  return language == kDvEnglish ? DvMessageTable[n].English : DvMessageTable[n].Polish;
}

std::string DvMessageText(int n, int result, int language) {
  std::string text = DvMessageTemplate(n, language);
  const size_t at = text.find("%x");
  if (at != std::string::npos) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(result));
    text.replace(at, 2, hex);
  }
  return text;
}

}  // namespace movara
