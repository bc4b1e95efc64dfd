#include "cataloguing/cataloger.h"

#include <memory>
#include <string>

#include "cataloguing/mount_point.h"
#include "cataloguing/tree_scanner.h"
#include "cataloguing/walk_progress.h"
#include "platform/byte_text.h"
#include "platform/volume_serial.h"

namespace ledra {

namespace {

constexpr uint32_t kPlatformWindows = 1;
constexpr uint32_t kPlatformNt = 2;
constexpr double kBytesToMiB = 9.5367431640625e-07;  // 2^-20

// Whether this operating system may offer the extended free-space call at all: every NT,
// and the later releases of Windows 9x (build numbers above 1000 in the low 16 bits).
bool MayHaveExtendedCall(const VersionInfo& info) {
  if (info.platformId == kPlatformNt) return true;
  return info.platformId == kPlatformWindows && (info.build & 0xFFFF) > 1000;
}

}  // namespace

Cataloger::Cataloger(Platform& platform, MessageSink& errors)
    : platform_(platform), errors_(errors), catalogSet_(platform) {
  VersionInfo info;
  if (platform_.Version(&info) && MayHaveExtendedCall(info) &&
      platform_.LoadSystemModule("KERNEL32.DLL")) {
    freeSpaceEx_ = platform_.HasProcedure("KERNEL32.DLL", "GetDiskFreeSpaceEx") ||
                   platform_.HasProcedure("KERNEL32.DLL", "GetDiskFreeSpaceExA");
  }
  catalogSet_.RemoveLeftovers();
  catalogSet_.LoadHeaders();
}

bool Cataloger::CatalogDevice(const std::string& root, const std::string& ignoreText,
                              const std::string& alias) {
  VolumeCatalog cur;
  IdentifyVolume(root, &cur);
  if (!alias.empty() && alias != cur.volumeName) cur.alias = alias;

  // The earlier catalogue hands over its comment (and alias) now; its file is moved to
  // the backup only once the new catalogue is completely written, so a failed walk or
  // write never costs the volume its last good catalogue.
  const CatalogMatch earlier = catalogSet_.FindMatch(cur);
  // Decided before anything is walked or stored: the catalogue of a disk that is not
  // plugged in must stay as it is, backup included.
  if (LeftUnmounted(root, cur, earlier)) {
    ReportFailure(root, "not mounted");
    return false;
  }
  // A catalogue that could not be read may be this volume's: a second one would leave the
  // volume with two, and the reader unable to tell which is its.
  if (earlier.catalog == nullptr && !catalogSet_.unreadable().empty()) {
    ReportFailure(root, "the catalogue '" + EscapeControls(catalogSet_.unreadable().front()) +
                            "' could not be read and may be this volume's");
    return false;
  }
  std::string handover;
  if (earlier.catalog != nullptr) {
    cur.comment = earlier.catalog->comment;
    if (alias.empty()) cur.alias = earlier.catalog->alias;
    handover = AliasHandover(*earlier.catalog, cur);
  }

  MeasureFreeSpace(root, &cur);
  if (cur.freeSpaceMB == 0.0f && driveType_ == DriveType::CdRom) cur.freeSpaceMB = -1.0f;

  // A person at a terminal sees the walk go on; nothing is added for anyone else.
  std::unique_ptr<WalkProgress> progress;
  if (errors_.terminal()) progress = std::make_unique<WalkProgress>(errors_, errors_.columns());
  TreeScanner scanner(platform_, cur);
  scanner.SetObserver(progress.get());
  scanner.SetThreads(WalkThreadsFor(root));
  const int32_t walked = scanner.Scan(root, ignoreText, 1);
  const char* reason = nullptr;
  if (walked > 0) {
    if (catalogSet_.StoreCatalog(std::move(cur), earlier) == 1) {
      if (progress) progress->Finish(*catalogSet_.catalogs().back());
      if (!handover.empty()) platform_.Report(handover);
      if (scanner.readErrors() == 0) return true;
      // What was read is kept (it is more than the last catalogue may hold), but the run's
      // status must show that the disk was not read whole.
      const int errors = scanner.readErrors();
      platform_.Report("the catalogue of '" + EscapeControls(root) +
                       "' was stored without what could not be read (" + std::to_string(errors) +
                       (errors == 1 ? " read error)" : " read errors)"));
      return false;
    }
    reason = "the catalogue could not be written";
  } else if (walked < 0) {
    reason = scanner.failure().c_str();
  } else if (cur.folders.empty()) {
    reason = platform_.KindOf(root, true) == PathKind::File
                 ? "the root is a file, not a folder"
                 : "the root does not exist or cannot be read";
  } else {
    reason = "the walk recorded nothing";
  }
  if (progress) progress->Abandon();
  ReportFailure(root, reason);
  return false;
}

bool Cataloger::LeftUnmounted(const std::string& devicePath, const VolumeCatalog& cur,
                              const CatalogMatch& earlier) {
  if (location_.empty()) return false;
  const char separator = platform_.Separator();
  if (earlier.catalog != nullptr &&
      MountPointLeftBare(cur.root, location_, earlier.catalog->root, separator)) {
    return true;
  }
  return MountPointLeftBare(cur.root, location_, platform_.ListedMountPoint(devicePath), separator);
}

std::string Cataloger::AliasHandover(const VolumeCatalog& earlier, const VolumeCatalog& cur) {
  // A reformatted or replaced disk may take over its predecessor's catalogue by the alias,
  // but never unannounced: the line tells which volume's catalogue became which.
  if (earlier.alias.empty() || earlier.alias != cur.alias) return std::string();
  if (earlier.volumeName == cur.volumeName && earlier.serial == cur.serial) return std::string();
  return "the alias '" + EscapeControls(cur.alias) + "' passes from the volume '" +
         EscapeControls(earlier.volumeName) + "' (" + SerialText(earlier.serial) + ") to '" +
         EscapeControls(cur.volumeName) + "' (" + SerialText(cur.serial) + ")";
}

void Cataloger::ReportFailure(const std::string& root, const std::string& reason) {
  // The first line is the one schedulers' logs have always been searched for; it has no
  // line end of its own. The second says why, in the form of every other report.
  errors_.Write("Error occured while cataloging " + root + ".");
  errors_.StartLine();
  errors_.WriteLine("LedraCmd: cannot catalogue '" + EscapeControls(root) + "': " + reason);
}

// A device path becomes the volume name and serial under which its catalogue is known from
// run to run.
void Cataloger::IdentifyVolume(const std::string& devicePath, VolumeCatalog* catalog) {
  location_.clear();
  std::string root;
  std::string remainder;
  if (!platform_.SplitVolumeRoot(devicePath, &root, &remainder) || root.empty()) return;
  std::string label;
  uint32_t serial = 0;
  if (!platform_.VolumeInformation(root, devicePath, &label, &serial)) return;

  const char separator = platform_.Separator();
  std::string name = label;
  // A device below its volume root is known by its path from the root, whatever the label.
  if (!remainder.empty() && !(remainder.size() == 1 && remainder[0] == separator)) {
    const bool startsWithDrive = remainder.size() >= 2 && remainder[1] == ':';
    name = "[" + (startsWithDrive ? remainder.substr(2) : remainder) + "]";
  }
  if (name.empty()) name = "[" + root + "]";

  driveType_ = platform_.DriveTypeOf(root);
  // The same label on two network drives must not make them one volume.
  if (driveType_ == DriveType::Remote && name[0] != '[' && platform_.HasDriveLetters()) {
    name += '-';
    name += root[0];
  }

  location_ = remainder.empty() || remainder[0] != separator
                  ? root
                  : platform_.WithoutTrailingSeparator(root) + remainder;
  catalog->root = root;
  catalog->volumeName = name;
  catalog->serial = serial;
  catalog->alias = catalogSet_.LookupAlias(name, serial);
}

void Cataloger::MeasureFreeSpace(const std::string& root, VolumeCatalog* catalog) {
  if (freeSpaceEx_) {
    FreeBytes bytes;
    if (platform_.FreeSpaceExtended(root, &bytes)) {
      const float freeBytes = static_cast<float>(bytes.totalFree);
      catalog->freeSpaceMB = static_cast<float>(freeBytes * kBytesToMiB);
    }
    return;
  }
  FreeClusters clusters;
  if (platform_.FreeSpaceClassic(root, &clusters)) {
    // Widened before multiplying: 2^32 bytes and more must not wrap to a small figure.
    const double freeBytes =
        static_cast<double>(uint64_t{clusters.sectorsPerCluster} * clusters.bytesPerSector) *
        clusters.freeClusters;
    catalog->freeSpaceMB = static_cast<float>(freeBytes * kBytesToMiB);
  }
}

int Cataloger::WalkThreadsFor(const std::string& root) {
  if (walkThreads_ > 0) return walkThreads_;
  return platform_.ListingsWait(root) ? kWaitingWalkThreads : 1;
}

}  // namespace ledra
