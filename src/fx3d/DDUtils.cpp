#include "fx3d/DDUtils.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "base/GifFile.h"
#include "base/JpegFile.h"
#include "base/Trace.h"

namespace movara {
namespace {

// The facility of DirectDraw and Direct3D results: severity bit, facility 0x876.
constexpr uint32_t DDResult(uint32_t code) { return 0x88760000u + code; }

constexpr int kJpegSaveQuality = 90;

}  // namespace

const std::vector<TResultCodeName>& ResultCodeTable() {
  static const std::vector<TResultCodeName> table = {
      {DDResult(5), "DDERR_ALREADYINITIALIZED"},
      {DDResult(10), "DDERR_CANNOTATTACHSURFACE"},
      {DDResult(20), "DDERR_CANNOTDETACHSURFACE"},
      {DDResult(40), "DDERR_CURRENTLYNOTAVAIL"},
      {DDResult(55), "DDERR_EXCEPTION"},
      {0x80004005u, "DDERR_GENERIC"},
      {DDResult(90), "DDERR_HEIGHTALIGN"},
      {DDResult(95), "DDERR_INCOMPATIBLEPRIMARY"},
      {DDResult(100), "DDERR_INVALIDCAPS"},
      {DDResult(110), "DDERR_INVALIDCLIPLIST"},
      {DDResult(120), "DDERR_INVALIDMODE"},
      {DDResult(130), "DDERR_INVALIDOBJECT"},
      {0x80070057u, "DDERR_INVALIDPARAMS"},
      {DDResult(145), "DDERR_INVALIDPIXELFORMAT"},
      {DDResult(150), "DDERR_INVALIDRECT"},
      {DDResult(160), "DDERR_LOCKEDSURFACES"},
      {DDResult(170), "DDERR_NO3D"},
      {DDResult(180), "DDERR_NOALPHAHW"},
      {DDResult(205), "DDERR_NOCLIPLIST"},
      {DDResult(210), "DDERR_NOCOLORCONVHW"},
      {DDResult(212), "DDERR_NOCOOPERATIVELEVELSET"},
      {DDResult(215), "DDERR_NOCOLORKEY"},
      {DDResult(220), "DDERR_NOCOLORKEYHW"},
      {DDResult(222), "DDERR_NODIRECTDRAWSUPPORT"},
      {DDResult(225), "DDERR_NOEXCLUSIVEMODE"},
      {DDResult(230), "DDERR_NOFLIPHW"},
      {DDResult(240), "DDERR_NOGDI"},
      {DDResult(250), "DDERR_NOMIRRORHW"},
      {DDResult(255), "DDERR_NOTFOUND"},
      {DDResult(260), "DDERR_NOOVERLAYHW"},
      {DDResult(270), "DDERR_OVERLAPPINGRECTS"},
      {DDResult(280), "DDERR_NORASTEROPHW"},
      {DDResult(290), "DDERR_NOROTATIONHW"},
      {DDResult(310), "DDERR_NOSTRETCHHW"},
      {DDResult(316), "DDERR_NOT4BITCOLOR"},
      {DDResult(317), "DDERR_NOT4BITCOLORINDEX"},
      {DDResult(320), "DDERR_NOT8BITCOLOR"},
      {DDResult(330), "DDERR_NOTEXTUREHW"},
      {DDResult(335), "DDERR_NOVSYNCHW"},
      {DDResult(340), "DDERR_NOZBUFFERHW"},
      {DDResult(350), "DDERR_NOZOVERLAYHW"},
      {DDResult(360), "DDERR_OUTOFCAPS"},
      {0x8007000Eu, "DDERR_OUTOFMEMORY"},
      {DDResult(380), "DDERR_OUTOFVIDEOMEMORY"},
      {DDResult(382), "DDERR_OVERLAYCANTCLIP"},
      {DDResult(384), "DDERR_OVERLAYCOLORKEYONLYONEACTIVE"},
      {DDResult(387), "DDERR_PALETTEBUSY"},
      {DDResult(400), "DDERR_COLORKEYNOTSET"},
      {DDResult(410), "DDERR_SURFACEALREADYATTACHED"},
      {DDResult(420), "DDERR_SURFACEALREADYDEPENDENT"},
      {DDResult(430), "DDERR_SURFACEBUSY"},
      {DDResult(435), "DDERR_CANTLOCKSURFACE"},
      {DDResult(440), "DDERR_SURFACEISOBSCURED"},
      {DDResult(450), "DDERR_SURFACELOST"},
      {DDResult(460), "DDERR_SURFACENOTATTACHED"},
      {DDResult(470), "DDERR_TOOBIGHEIGHT"},
      {DDResult(480), "DDERR_TOOBIGSIZE"},
      {DDResult(490), "DDERR_TOOBIGWIDTH"},
      {0x80004001u, "DDERR_UNSUPPORTED"},
      {DDResult(510), "DDERR_UNSUPPORTEDFORMAT"},
      {DDResult(520), "DDERR_UNSUPPORTEDMASK"},
      {DDResult(521), "DDERR_INVALIDSTREAM"},
      {DDResult(537), "DDERR_VERTICALBLANKINPROGRESS"},
      {DDResult(540), "DDERR_WASSTILLDRAWING"},
      {DDResult(560), "DDERR_XALIGN"},
      {DDResult(561), "DDERR_INVALIDDIRECTDRAWGUID"},
      {DDResult(562), "DDERR_DIRECTDRAWALREADYCREATED"},
      {DDResult(563), "DDERR_NODIRECTDRAWHW"},
      {DDResult(564), "DDERR_PRIMARYSURFACEALREADYEXISTS"},
      {DDResult(565), "DDERR_NOEMULATION"},
      {DDResult(566), "DDERR_REGIONTOOSMALL"},
      {DDResult(567), "DDERR_CLIPPERISUSINGHWND"},
      {DDResult(568), "DDERR_NOCLIPPERATTACHED"},
      {DDResult(569), "DDERR_NOHWND"},
      {DDResult(570), "DDERR_HWNDSUBCLASSED"},
      {DDResult(571), "DDERR_HWNDALREADYSET"},
      {DDResult(572), "DDERR_NOPALETTEATTACHED"},
      {DDResult(573), "DDERR_NOPALETTEHW"},
      {DDResult(574), "DDERR_BLTFASTCANTCLIP"},
      {DDResult(575), "DDERR_NOBLTHW"},
      {DDResult(576), "DDERR_NODDROPSHW"},
      {DDResult(577), "DDERR_OVERLAYNOTVISIBLE"},
      {DDResult(578), "DDERR_NOOVERLAYDEST"},
      {DDResult(579), "DDERR_INVALIDPOSITION"},
      {DDResult(580), "DDERR_NOTAOVERLAYSURFACE"},
      {DDResult(581), "DDERR_EXCLUSIVEMODEALREADYSET"},
      {DDResult(582), "DDERR_NOTFLIPPABLE"},
      {DDResult(583), "DDERR_CANTDUPLICATE"},
      {DDResult(584), "DDERR_NOTLOCKED"},
      {DDResult(585), "DDERR_CANTCREATEDC"},
      {DDResult(586), "DDERR_NODC"},
      {DDResult(587), "DDERR_WRONGMODE"},
      {DDResult(588), "DDERR_IMPLICITLYCREATED"},
      {DDResult(589), "DDERR_NOTPALETTIZED"},
      {DDResult(590), "DDERR_UNSUPPORTEDMODE"},
      {DDResult(591), "DDERR_NOMIPMAPHW"},
      {DDResult(592), "DDERR_INVALIDSURFACETYPE"},
      {DDResult(600), "DDERR_NOOPTIMIZEHW"},
      {DDResult(601), "DDERR_NOTLOADED"},
      {DDResult(602), "DDERR_NOFOCUSWINDOW"},
      {DDResult(620), "DDERR_DCALREADYCREATED"},
      {DDResult(630), "DDERR_NONONLOCALVIDMEM"},
      {DDResult(640), "DDERR_CANTPAGELOCK"},
      {DDResult(660), "DDERR_CANTPAGEUNLOCK"},
      {DDResult(680), "DDERR_NOTPAGELOCKED"},
      {DDResult(690), "DDERR_MOREDATA"},
      {DDResult(691), "DDERR_EXPIRED"},
      {DDResult(695), "DDERR_VIDEONOTACTIVE"},
      {DDResult(699), "DDERR_DEVICEDOESNTOWNSURFACE"},
      {0x800401F0u, "DDERR_NOTINITIALIZED"},
      {DDResult(781), "D3DRMERR_BADOBJECT"},
      {DDResult(782), "D3DRMERR_BADTYPE"},
      {DDResult(783), "D3DRMERR_BADALLOC"},
      {DDResult(784), "D3DRMERR_FACEUSED"},
      {DDResult(785), "D3DRMERR_NOTFOUND"},
      {DDResult(786), "D3DRMERR_NOTDONEYET"},
      {DDResult(787), "D3DRMERR_FILENOTFOUND"},
      {DDResult(788), "D3DRMERR_BADFILE"},
      {DDResult(789), "D3DRMERR_BADDEVICE"},
      {DDResult(790), "D3DRMERR_BADVALUE"},
      {DDResult(791), "D3DRMERR_BADMAJORVERSION"},
      {DDResult(792), "D3DRMERR_BADMINORVERSION"},
      {DDResult(793), "D3DRMERR_UNABLETOEXECUTE"},
      {DDResult(794), "D3DRMERR_LIBRARYNOTFOUND"},
      {DDResult(795), "D3DRMERR_INVALIDLIBRARY"},
      {DDResult(796), "D3DRMERR_PENDING"},
      {DDResult(797), "D3DRMERR_NOTENOUGHDATA"},
      {DDResult(798), "D3DRMERR_REQUESTTOOLARGE"},
      {DDResult(799), "D3DRMERR_REQUESTTOOSMALL"},
      {DDResult(800), "D3DRMERR_CONNECTIONLOST"},
      {DDResult(801), "D3DRMERR_LOADABORTED"},
      {DDResult(802), "D3DRMERR_NOINTERNET"},
      {DDResult(803), "D3DRMERR_BADCACHEFILE"},
      {DDResult(804), "D3DRMERR_BOXNOTSET"},
      {DDResult(805), "D3DRMERR_BADPMDATA"},
      {DDResult(806), "D3DRMERR_CLIENTNOTREGISTERED"},
      {DDResult(807), "D3DRMERR_NOTCREATEDFROMDDS"},
      {DDResult(808), "D3DRMERR_NOSUCHKEY"},
      {DDResult(809), "D3DRMERR_INCOMPATABLEKEY"},
      {DDResult(810), "D3DRMERR_ELEMENTINUSE"},
      {DDResult(811), "D3DRMERR_TEXTUREFORMATNOTFOUND"},
      {DDResult(812), "D3DRMERR_NOTAGGREGATED"},
  };
  return table;
}

std::string ResultText(uint32_t code) {
  const auto& table = ResultCodeTable();
  auto it = std::find_if(table.begin(), table.end(),
                         [code](const TResultCodeName& e) { return e.Code == code; });
  const char* name = it != table.end() ? it->Name : "Unknown code";
  return Format("%s = $%X (%X + %d).", name, code, code >> 16, static_cast<int>(code & 0xFFFF));
}

void CheckResult(uint32_t code) {
  if (code != 0) throw ED3DRM(ResultText(code));
}

void CheckResultAt(uint32_t code, const std::string& where) {
  if (code != 0) throw ED3DRM(Format("[%s] %s", where.c_str(), ResultText(code).c_str()));
}

void FlipDIBVertical(TDIB& dib) {
  if (dib.Empty()) return;
  const size_t rowSize = static_cast<size_t>(dib.RowSize());
  std::vector<uint8_t> scratch(rowSize);
  uint8_t* bits = dib.Bits();
  for (int i = 0; i < dib.Height() / 2; ++i) {
    uint8_t* a = bits + static_cast<size_t>(i) * rowSize;
    uint8_t* b = bits + static_cast<size_t>(dib.Height() - 1 - i) * rowSize;
    std::memcpy(scratch.data(), a, rowSize);
    std::memcpy(a, b, rowSize);
    std::memcpy(b, scratch.data(), rowSize);
  }
}

void CopyRowsToDIB(const void* source, TDIB& dib) {
  if (source == nullptr || dib.Empty()) return;
  const size_t rowSize = static_cast<size_t>(dib.RowSize());
  const uint8_t* src = static_cast<const uint8_t*>(source);
  // The first source row goes to the row at the highest address: the top of the picture.
  for (int y = 0; y < dib.Height(); ++y, src += rowSize) std::memcpy(dib.ScanLine(y), src, rowSize);
}

TColor PaletteColor(const TDIB* dib, int index) {
  if (dib == nullptr) return 0;
  if (dib->BitCount() > 8) return static_cast<TColor>(index);
  // A palette shorter than 256 entries (1 and 4 bits) ends earlier than 255.
  const auto& palette = dib->Palette();
  if (index < 0 || index > 255 || static_cast<size_t>(index) >= palette.size()) return 0;
  const TRGBQuad& q = palette[static_cast<size_t>(index)];
  return RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

bool SavePictureFile(const TDIB& dib, std::string& fileName, bool toSavedFolder) {
  if (toSavedFolder) {
    const std::string folder = UserFolder() + "AppData/Zapisane Obrazki/";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    fileName = folder + ExtractFileName(fileName);
  }
  TFileKind kind = FileKindOfName(fileName);
  if (kind == fkUnknown) {
    fileName += ".Bmp";
    kind = FileKindOfName(fileName);
  }
  if (dib.Empty()) {
    TraceF("[SavePictureFile] empty picture, \"%s\" not written", fileName.c_str());
    return false;
  }
  std::vector<uint8_t> bytes;
  bool encoded = false;
  switch (kind) {
    case fkBmp:
      bytes = dib.SaveToBmpBytes();
      encoded = !bytes.empty();
      break;
    case fkJpg:
      encoded = SaveJpegToBytes(dib, kJpegSaveQuality, bytes);
      break;
    case fkGif:
      // Drawn at 24 bits first, so every picture is reduced to its own optimised
      // palette with error diffusion.
      encoded = dib.BitCount() == 24 ? SaveGifToBytes(dib, bytes)
                                     : SaveGifToBytes(dib.ConvertTo(24), bytes);
      break;
    default:
      return false;
  }
  if (!encoded || !WriteWholeFile(fileName, bytes.data(), bytes.size())) {
    TraceF("[SavePictureFile] cannot write \"%s\"", fileName.c_str());
    return false;
  }
  return true;
}

}  // namespace movara
