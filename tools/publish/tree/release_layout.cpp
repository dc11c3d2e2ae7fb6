#include "tree/release_layout.h"

#define PLUMIX_PACKAGE_FOLDER "pub/plumixplayer/update/current/sau/11/install/"

const PackageSlot kPackageSlots[kPackageCount] = {
    {PluginVariant::ActiveX, false, "--activex", PLUMIX_PACKAGE_FOLDER "install_all_win_ax_sgn.z",
     "ActiveX 32-bit"},
    {PluginVariant::ActiveX, true, "--activex-64",
     PLUMIX_PACKAGE_FOLDER "install_all_win_64_ax_sgn.z", "ActiveX 64-bit"},
    {PluginVariant::Plugin, false, "--plugin", PLUMIX_PACKAGE_FOLDER "install_all_win_pl_sgn.z",
     "Plugin 32-bit"},
    {PluginVariant::Plugin, true, "--plugin-64",
     PLUMIX_PACKAGE_FOLDER "install_all_win_64_pl_sgn.z", "Plugin 64-bit"},
};

const char* VariantName(PluginVariant variant) {
  return variant == PluginVariant::ActiveX ? "ActiveX" : "Plugin";
}
