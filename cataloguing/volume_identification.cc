// How a device path becomes the volume name and serial under which its catalogue is
// known from run to run.
#include "cataloguing/cataloger.h"

namespace ledra {

void Cataloger::IdentifyVolume(const std::string& devicePath) {
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

  VolumeCatalog& cur = *current_;
  cur.root = root;
  cur.volumeName = name;
  cur.serial = serial;
  cur.alias = catalogSet_.LookupAlias(name, serial);
}

}  // namespace ledra
