#pragma once

// The disc-control function table a core hands over through the environment
// callback. Kept in the callback state; copied out under its lock before any
// of the core's functions is called.

#include "libretro/abi.hpp"

namespace lk {

struct DiscControlInterface {
    enum class Version {
        none,  // no table installed
        v0,    // SET_DISK_CONTROL_INTERFACE: the first seven slots
        v1,    // SET_DISK_CONTROL_EXT_INTERFACE: all ten slots
    };

    Version version = Version::none;
    retro::DiskSetEjectStateFn set_eject_state = nullptr;
    retro::DiskGetEjectStateFn get_eject_state = nullptr;
    retro::DiskGetImageIndexFn get_image_index = nullptr;
    retro::DiskSetImageIndexFn set_image_index = nullptr;
    retro::DiskGetNumImagesFn get_num_images = nullptr;
    retro::DiskReplaceImageIndexFn replace_image_index = nullptr;
    retro::DiskAddImageIndexFn add_image_index = nullptr;
    retro::DiskSetInitialImageFn set_initial_image = nullptr;
    retro::DiskGetImagePathFn get_image_path = nullptr;
    retro::DiskGetImageLabelFn get_image_label = nullptr;

    static DiscControlInterface from_v0(const retro::DiskControlCallback& table) {
        DiscControlInterface result;
        result.version = Version::v0;
        result.set_eject_state = table.set_eject_state;
        result.get_eject_state = table.get_eject_state;
        result.get_image_index = table.get_image_index;
        result.set_image_index = table.set_image_index;
        result.get_num_images = table.get_num_images;
        result.replace_image_index = table.replace_image_index;
        result.add_image_index = table.add_image_index;
        return result;
    }

    static DiscControlInterface from_v1(const retro::DiskControlExtCallback& table) {
        DiscControlInterface result;
        result.version = Version::v1;
        result.set_eject_state = table.set_eject_state;
        result.get_eject_state = table.get_eject_state;
        result.get_image_index = table.get_image_index;
        result.set_image_index = table.set_image_index;
        result.get_num_images = table.get_num_images;
        result.replace_image_index = table.replace_image_index;
        result.add_image_index = table.add_image_index;
        result.set_initial_image = table.set_initial_image;
        result.get_image_path = table.get_image_path;
        result.get_image_label = table.get_image_label;
        return result;
    }
};

}  // namespace lk
