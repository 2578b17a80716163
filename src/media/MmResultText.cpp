#include "media/MmResultText.h"

#include <iterator>

#include "base/Format.h"

namespace movara {
namespace {

struct TCodeText {
  uint32_t code;
  const char* text;
};

// The first row holding a code gives its text; the later rows of a code are the texts
// other calls document for it.
const TCodeText kMmResults[] = {
    // general
    {0, "no error"},
    {1, "unspecified error"},
    {2, "device ID out of range"},
    {3, "driver failed enable"},
    {4, "device already allocated"},
    {5, "device handle is invalid"},
    {6, "no device driver present"},
    {7, "memory allocation error"},
    {8, "function isn't supported"},
    {9, "error value out of range"},
    {10, "invalid flag passed"},
    {11, "invalid parameter passed"},
    {12, "handle being used simultaneously on another thread (eg callback)"},
    {13, "specified alias not found"},
    {14, "bad registry database"},
    {15, "registry key not found"},
    {16, "registry read error"},
    {17, "registry write error"},
    {18, "registry delete error"},
    {19, "registry value not found"},
    {20, "driver does not call DriverCallback"},
    {21, "more data to be returned"},
    // wave
    {32, "unsupported wave format"},
    {33, "still something playing"},
    {34, "header not prepared"},
    {35, "device is synchronous"},
    // MIDI
    {64, "header not prepared"},
    {65, "still something playing"},
    {66, "no configured instruments"},
    {67, "hardware is still busy"},
    {68, "port no longer connected"},
    {69, "invalid MIF"},
    {70, "operation unsupported w/ open mode"},
    {71, "thru device 'eating' a message"},
    // timer
    {0, "no error"},
    {97, "request not completed"},
    {129, "time struct size"},
    // joystick
    {0, "no error"},
    {165, "bad parameters"},
    {166, "request not completed"},
    {167, "joystick is unplugged"},
    // ACM
    {512, "The requested operation cannot be performed."},
    {513, "The conversion stream cannot be closed because an asynchronous conversion is still in progress."},
    {514, "The stream header specified in pash is currently not prepared by the acmStreamPrepareHeader function."},
    {515, "The user chose the Cancel button or the Close command on the System menu to close the dialog box."},
    {512, "The index specified in uMetric cannot be returned for the specified hao."},
    {512, "The buffer identified by the pwfx member of the ACMFORMATCHOOSE structure is too small to contain the selected format."},
    {513, "The stream header specified in pash is currently in use and cannot be reused."},
    {513, "The driver is in use and cannot be closed."},
};

const TCodeText kFormatTags[] = {
    {0x0000, "WAVE_FORMAT_UNKNOWN"},
    {0x0001, "WAVE_FORMAT_PCM"},
    {0x0002, "WAVE_FORMAT_ADPCM"},
    {0x0003, "WAVE_FORMAT_IEEE_FLOAT"},
    {0x0004, "WAVE_FORMAT_VSELP"},
    {0x0005, "WAVE_FORMAT_IBM_CVSD"},
    {0x0006, "WAVE_FORMAT_ALAW"},
    {0x0007, "WAVE_FORMAT_MULAW"},
    {0x0008, "WAVE_FORMAT_DTS"},
    {0x0010, "WAVE_FORMAT_OKI_ADPCM"},
    {0x0011, "WAVE_FORMAT_DVI_ADPCM"},
    {0x0012, "WAVE_FORMAT_MEDIASPACE_ADPCM"},
    {0x0013, "WAVE_FORMAT_SIERRA_ADPCM"},
    {0x0014, "WAVE_FORMAT_G723_ADPCM"},
    {0x0015, "WAVE_FORMAT_DIGISTD"},
    {0x0016, "WAVE_FORMAT_DIGIFIX"},
    {0x0017, "WAVE_FORMAT_DIALOGIC_OKI_ADPCM"},
    {0x0018, "WAVE_FORMAT_MEDIAVISION_ADPCM"},
    {0x0019, "WAVE_FORMAT_CU_CODEC"},
    {0x0020, "WAVE_FORMAT_YAMAHA_ADPCM"},
    {0x0021, "WAVE_FORMAT_SONARC"},
    {0x0022, "WAVE_FORMAT_DSPGROUP_TRUESPEECH"},
    {0x0023, "WAVE_FORMAT_ECHOSC1"},
    {0x0024, "WAVE_FORMAT_AUDIOFILE_AF36"},
    {0x0025, "WAVE_FORMAT_APTX"},
    {0x0026, "WAVE_FORMAT_AUDIOFILE_AF10"},
    {0x0027, "WAVE_FORMAT_PROSODY_1612"},
    {0x0028, "WAVE_FORMAT_LRC"},
    {0x0030, "WAVE_FORMAT_DOLBY_AC2"},
    {0x0031, "WAVE_FORMAT_GSM610"},
    {0x0032, "WAVE_FORMAT_MSNAUDIO"},
    {0x0033, "WAVE_FORMAT_ANTEX_ADPCME"},
    {0x0034, "WAVE_FORMAT_CONTROL_RES_VQLPC"},
    {0x0035, "WAVE_FORMAT_DIGIREAL"},
    {0x0036, "WAVE_FORMAT_DIGIADPCM"},
    {0x0037, "WAVE_FORMAT_CONTROL_RES_CR10"},
    {0x0038, "WAVE_FORMAT_NMS_VBXADPCM"},
    {0x0039, "WAVE_FORMAT_CS_IMAADPCM"},
    {0x003A, "WAVE_FORMAT_ECHOSC3"},
    {0x003B, "WAVE_FORMAT_ROCKWELL_ADPCM"},
    {0x003C, "WAVE_FORMAT_ROCKWELL_DIGITALK"},
    {0x003D, "WAVE_FORMAT_XEBEC"},
    {0x0040, "WAVE_FORMAT_G721_ADPCM"},
    {0x0041, "WAVE_FORMAT_G728_CELP"},
    {0x0042, "WAVE_FORMAT_MSG723"},
    {0x0050, "WAVE_FORMAT_MPEG"},
    {0x0052, "WAVE_FORMAT_RT24"},
    {0x0053, "WAVE_FORMAT_PAC"},
    {0x0055, "WAVE_FORMAT_MPEGLAYER3"},
    {0x0059, "WAVE_FORMAT_LUCENT_G723"},
    {0x0060, "WAVE_FORMAT_CIRRUS"},
    {0x0061, "WAVE_FORMAT_ESPCM"},
    {0x0062, "WAVE_FORMAT_VOXWARE"},
    {0x0063, "WAVE_FORMAT_CANOPUS_ATRAC"},
    {0x0064, "WAVE_FORMAT_G726_ADPCM"},
    {0x0065, "WAVE_FORMAT_G722_ADPCM"},
    {0x0067, "WAVE_FORMAT_DSAT_DISPLAY"},
    {0x0200, "WAVE_FORMAT_CREATIVE_ADPCM"},
    {0x0202, "WAVE_FORMAT_CREATIVE_FASTSPEECH8"},
    {0x0203, "WAVE_FORMAT_CREATIVE_FASTSPEECH10"},
    {0x0300, "WAVE_FORMAT_FM_TOWNS_SND"},
    {0x1000, "WAVE_FORMAT_OLIGSM"},
    {0x1001, "WAVE_FORMAT_OLIADPCM"},
    {0x1002, "WAVE_FORMAT_OLICELP"},
    {0x1003, "WAVE_FORMAT_OLISBC"},
    {0x1004, "WAVE_FORMAT_OLIOPR"},
};

}  // namespace

std::string MmResultText(uint32_t code) {
  for (const TCodeText& row : kMmResults) {
    if (row.code == code) return row.text;
  }
  return Format("(unknown. mmr = $%8.8x)", code);
}

std::string FormatTagName(uint32_t tag) {
  for (const TCodeText& row : kFormatTags) {
    if (row.code == tag) return row.text;
  }
  return Format("(unknown $%.8x)", tag);
}

int MmResultTextCount() { return static_cast<int>(std::size(kMmResults)); }
int FormatTagNameCount() { return static_cast<int>(std::size(kFormatTags)); }

}  // namespace movara
