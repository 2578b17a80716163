// movara script PROJECT.mvf: the film script of a project's time line, exactly as the
// project window makes it for the film command (CR LF after every line).
#include <cstdio>
#include <string>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "media/PictureFile.h"
#include "media/ResourceLists.h"
#include "pages/PageEditBox.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "script/Script.h"

namespace movara {

namespace {

// The resource list of a project read on the command line: the clip box's own, except
// that a file which does not load gets a clip marked missing instead of losing its
// blocks (the project window drops them and says so).
class TKeepMissingResources : public TClipBoxResources {
 public:
  TKeepMissingResources(TClipBox& Box, std::vector<std::unique_ptr<TClipGraphic>>& Missing)
      : TClipBoxResources(Box), FMissing(Missing) {}
  void ClearClips() override {
    TClipBoxResources::ClearClips();
    FMissing.clear();
  }
  TClipGraphic* ClipForFile(const std::string& ExpandedName) override {
    if (TClipGraphic* c = TClipBoxResources::ClipForFile(ExpandedName)) return c;
    for (const auto& m : FMissing)
      if (m->FullFileName() == ExpandedName) return m.get();
    auto clip = std::make_unique<TClipGraphic>();
    clip->SetFileName(ExpandedName);
    clip->SetMissing(true);
    FMissing.push_back(std::move(clip));
    return FMissing.back().get();
  }

 private:
  std::vector<std::unique_ptr<TClipGraphic>>& FMissing;
};

}  // namespace

TLoadedProject::TLoadedProject()
    : Clips(std::make_unique<TClipBox>()),
      Resources(std::make_unique<TKeepMissingResources>(*Clips, MissingClips)) {}
TLoadedProject::~TLoadedProject() = default;

int LoadProject(const char* command, const std::string& file, TLoadedProject& project) {
  if (const int readable = CheckInputFile(command, file); readable != kExitOk) return readable;
  char magic[4] = {};
  bool readable = false;
  if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
    readable = std::fread(magic, 1, 4, f) == 4;
    std::fclose(f);
  }
  if (!readable || std::string(magic, 4) != "MV10") {
    std::fprintf(stderr, "movara %s: '%s' is not a Movara project\n", command, file.c_str());
    return kExitUsage;
  }

  CreateResourceLists();
  int status = kExitOk;
  // every file the blocks show is loaded for its lengths and frame rate, straight into
  // the readers the film is made from (no thumbnails, no waveforms)
  project.Clips->SetClipsForFilmOnly(true);
  const TOpenProjectResult result = OpenProjectFile(FullPathName(file), project.Box, *project.Resources);
  project.Read = result.Read;
  project.Total = result.Total;
  if (!result.Ok && result.Read < 0) {
    std::fprintf(stderr, "movara %s: '%s' is damaged: its blocks cannot be read to the end\n", command, file.c_str());
    status = kExitFailure;
  } else if (!result.Ok) {
    std::fprintf(stderr, "movara %s: only %d of %d blocks of '%s' were read\n", command, result.Read, result.Total,
                 file.c_str());
    status = kExitFailure;
  }
  for (const auto& clip : project.MissingClips) project.MissingFiles.push_back(clip->FullFileName());
  if (!project.MissingFiles.empty()) {
    std::string names;
    for (const std::string& name : project.MissingFiles) names += (names.empty() ? "" : ", ") + name;
    const bool one = project.MissingFiles.size() == 1;
    std::fprintf(stderr, "movara %s: %d media file%s of '%s' %s missing: %s\n", command,
                 static_cast<int>(project.MissingFiles.size()), one ? "" : "s", file.c_str(), one ? "is" : "are",
                 names.c_str());
    if (status == kExitOk) status = kExitFailure;
  }
  TScript script;
  script.MakeScript(&project.Box);
  project.Script = script.Text();
  return status;
}

int MakeProjectScript(const char* command, const std::string& file, std::string& text) {
  TLoadedProject project;
  const int status = LoadProject(command, file, project);
  text = project.Script;
  return status;
}

int CmdScript(const TArgs& args) {
  TCommandArgs parsed;
  const int split = SplitArgs("script", args, {}, parsed);
  if (split != kExitOk) return split == kExitHelp ? kExitOk : split;
  if (parsed.Words.size() != 1) {
    std::fprintf(stderr, "movara script: expected one PROJECT.mvf (see 'movara script --help')\n");
    return kExitUsage;
  }
  // The script needs the title pages as clips, never their pictures: a page loads as
  // its blank background, and no text is drawn.
  SetTitlePageLoader(LoadPageBackgroundToDIB);
  std::string text;
  const int status = MakeProjectScript("script", parsed.Words[0], text);
  if (status == kExitUsage) return status;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return status;
}

}  // namespace movara
