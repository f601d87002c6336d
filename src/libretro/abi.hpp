#pragma once

// Our declarations of the part of the libretro C ABI (API version 1) that the
// runner speaks: constants, C-layout records and C function pointer types.
// Layouts follow the published API for the x86-64 System V ABI; the
// static_asserts at the end pin sizes and offsets, and the tests that drive
// real cores prove them.

#include <climits>
#include <cstddef>
#include <cstdint>

namespace lk::retro {

inline constexpr unsigned kApiVersion = 1;

// ---------------------------------------------------------------------------
// Environment commands (the `cmd` argument of the environment callback).

// Set on commands that are still experimental; a frontend only recognises an
// experimental command with this bit set.
inline constexpr unsigned kEnvironmentExperimental = 0x10000;
inline constexpr unsigned kEnvironmentPrivate = 0x20000;

namespace env {
inline constexpr unsigned kSetRotation = 1;
inline constexpr unsigned kGetOverscan = 2;
inline constexpr unsigned kGetCanDupe = 3;
inline constexpr unsigned kSetMessage = 6;
inline constexpr unsigned kShutdown = 7;
inline constexpr unsigned kSetPerformanceLevel = 8;
inline constexpr unsigned kGetSystemDirectory = 9;
inline constexpr unsigned kSetPixelFormat = 10;
inline constexpr unsigned kSetInputDescriptors = 11;
inline constexpr unsigned kSetKeyboardCallback = 12;
inline constexpr unsigned kSetDiskControlInterface = 13;
inline constexpr unsigned kSetHwRender = 14;
inline constexpr unsigned kGetVariable = 15;
inline constexpr unsigned kSetVariables = 16;
inline constexpr unsigned kGetVariableUpdate = 17;
inline constexpr unsigned kSetSupportNoGame = 18;
inline constexpr unsigned kGetLibretroPath = 19;
inline constexpr unsigned kSetFrameTimeCallback = 21;
inline constexpr unsigned kSetAudioCallback = 22;
inline constexpr unsigned kGetRumbleInterface = 23;
inline constexpr unsigned kGetInputDeviceCapabilities = 24;
inline constexpr unsigned kGetSensorInterface = 25 | kEnvironmentExperimental;
inline constexpr unsigned kGetCameraInterface = 26 | kEnvironmentExperimental;
inline constexpr unsigned kGetLogInterface = 27;
inline constexpr unsigned kGetPerfInterface = 28;
inline constexpr unsigned kGetLocationInterface = 29;
inline constexpr unsigned kGetCoreAssetsDirectory = 30;
inline constexpr unsigned kGetSaveDirectory = 31;
inline constexpr unsigned kSetSystemAvInfo = 32;
inline constexpr unsigned kSetProcAddressCallback = 33;
inline constexpr unsigned kSetSubsystemInfo = 34;
inline constexpr unsigned kSetControllerInfo = 35;
inline constexpr unsigned kSetMemoryMaps = 36 | kEnvironmentExperimental;
inline constexpr unsigned kSetGeometry = 37;
inline constexpr unsigned kGetUsername = 38;
inline constexpr unsigned kGetLanguage = 39;
inline constexpr unsigned kGetCurrentSoftwareFramebuffer = 40 | kEnvironmentExperimental;
inline constexpr unsigned kGetHwRenderInterface = 41 | kEnvironmentExperimental;
inline constexpr unsigned kSetSupportAchievements = 42 | kEnvironmentExperimental;
inline constexpr unsigned kSetHwRenderContextNegotiationInterface = 43 | kEnvironmentExperimental;
inline constexpr unsigned kSetSerializationQuirks = 44;
inline constexpr unsigned kSetHwSharedContext = 44 | kEnvironmentExperimental;
inline constexpr unsigned kGetVfsInterface = 45 | kEnvironmentExperimental;
inline constexpr unsigned kGetLedInterface = 46 | kEnvironmentExperimental;
inline constexpr unsigned kGetAudioVideoEnable = 47 | kEnvironmentExperimental;
inline constexpr unsigned kGetMidiInterface = 48 | kEnvironmentExperimental;
inline constexpr unsigned kGetFastforwarding = 49 | kEnvironmentExperimental;
inline constexpr unsigned kGetTargetRefreshRate = 50 | kEnvironmentExperimental;
inline constexpr unsigned kGetInputBitmasks = 51 | kEnvironmentExperimental;
inline constexpr unsigned kGetCoreOptionsVersion = 52;
inline constexpr unsigned kSetCoreOptions = 53;
inline constexpr unsigned kSetCoreOptionsIntl = 54;
inline constexpr unsigned kSetCoreOptionsDisplay = 55;
inline constexpr unsigned kGetPreferredHwRender = 56;
inline constexpr unsigned kGetDiskControlInterfaceVersion = 57;
inline constexpr unsigned kSetDiskControlExtInterface = 58;
inline constexpr unsigned kGetMessageInterfaceVersion = 59;
inline constexpr unsigned kSetMessageExt = 60;
inline constexpr unsigned kGetInputMaxUsers = 61;
inline constexpr unsigned kSetAudioBufferStatusCallback = 62;
inline constexpr unsigned kSetMinimumAudioLatency = 63;
inline constexpr unsigned kSetFastforwardingOverride = 64;
inline constexpr unsigned kSetContentInfoOverride = 65;
inline constexpr unsigned kGetGameInfoExt = 66;
inline constexpr unsigned kSetCoreOptionsV2 = 67;
inline constexpr unsigned kSetCoreOptionsV2Intl = 68;
inline constexpr unsigned kSetCoreOptionsUpdateDisplayCallback = 69;
inline constexpr unsigned kSetVariable = 70;
inline constexpr unsigned kGetThrottleState = 71 | kEnvironmentExperimental;
inline constexpr unsigned kGetSavestateContext = 72 | kEnvironmentExperimental;
inline constexpr unsigned kGetJitCapable = 74;
}  // namespace env

// ---------------------------------------------------------------------------
// Pixel formats (SET_PIXEL_FORMAT takes a pointer to one of these as an enum).

enum class PixelFormat : unsigned {
    k0rgb1555 = 0,  // 16 bits per pixel, libretro's default
    kXrgb8888 = 1,  // 32 bits per pixel, top byte ignored
    kRgb565 = 2,    // 16 bits per pixel
};

// The `data` argument of the video callback that marks a hardware-rendered
// frame: the pointer with every bit set.
inline constexpr std::uintptr_t kHwFrameBufferValidBits = ~std::uintptr_t{0};

inline bool is_hw_frame_buffer_valid(const void* data) {
    return reinterpret_cast<std::uintptr_t>(data) == kHwFrameBufferValidBits;
}

// ---------------------------------------------------------------------------
// Input devices, their indices and ids.

inline constexpr unsigned kDeviceTypeShift = 8;
inline constexpr unsigned kDeviceMask = (1u << kDeviceTypeShift) - 1;

namespace device {
inline constexpr unsigned kNone = 0;
inline constexpr unsigned kJoypad = 1;
inline constexpr unsigned kMouse = 2;
inline constexpr unsigned kKeyboard = 3;
inline constexpr unsigned kLightgun = 4;
inline constexpr unsigned kAnalog = 5;
inline constexpr unsigned kPointer = 6;
}  // namespace device

// A subclass of a base device: the base type stays in the low bits.
constexpr unsigned device_subclass(unsigned base, unsigned id) {
    return ((id + 1) << kDeviceTypeShift) | base;
}

namespace joypad {
inline constexpr unsigned kB = 0;
inline constexpr unsigned kY = 1;
inline constexpr unsigned kSelect = 2;
inline constexpr unsigned kStart = 3;
inline constexpr unsigned kUp = 4;
inline constexpr unsigned kDown = 5;
inline constexpr unsigned kLeft = 6;
inline constexpr unsigned kRight = 7;
inline constexpr unsigned kA = 8;
inline constexpr unsigned kX = 9;
inline constexpr unsigned kL = 10;
inline constexpr unsigned kR = 11;
inline constexpr unsigned kL2 = 12;
inline constexpr unsigned kR2 = 13;
inline constexpr unsigned kL3 = 14;
inline constexpr unsigned kR3 = 15;
// Asks for every button at once as a bit mask (bit i = button id i); needs
// GET_INPUT_BITMASKS.
inline constexpr unsigned kMask = 256;
}  // namespace joypad

namespace analog {
inline constexpr unsigned kIndexLeft = 0;
inline constexpr unsigned kIndexRight = 1;
inline constexpr unsigned kIndexButton = 2;
inline constexpr unsigned kX = 0;
inline constexpr unsigned kY = 1;
}  // namespace analog

namespace pointer {
inline constexpr unsigned kX = 0;
inline constexpr unsigned kY = 1;
inline constexpr unsigned kPressed = 2;
inline constexpr unsigned kCount = 3;
}  // namespace pointer

// ---------------------------------------------------------------------------
// Memory regions (retro_get_memory_data / retro_get_memory_size).

namespace memory {
inline constexpr unsigned kMask = 0xff;
inline constexpr unsigned kSaveRam = 0;
inline constexpr unsigned kRtc = 1;
inline constexpr unsigned kSystemRam = 2;
inline constexpr unsigned kVideoRam = 3;
}  // namespace memory

// ---------------------------------------------------------------------------
// Serialization quirks (SET_SERIALIZATION_QUIRKS takes a uint64_t of these).

namespace quirk {
inline constexpr std::uint64_t kIncomplete = 1u << 0;
inline constexpr std::uint64_t kMustInitialize = 1u << 1;
inline constexpr std::uint64_t kCoreVariableSize = 1u << 2;
inline constexpr std::uint64_t kFrontVariableSize = 1u << 3;
inline constexpr std::uint64_t kSingleSession = 1u << 4;
inline constexpr std::uint64_t kEndianDependent = 1u << 5;
inline constexpr std::uint64_t kPlatformDependent = 1u << 6;
}  // namespace quirk

// ---------------------------------------------------------------------------
// Hardware rendering.

enum class HwContextType : unsigned {
    kNone = 0,
    kOpenGl = 1,
    kOpenGlEs2 = 2,
    kOpenGlCore = 3,
    kOpenGlEs3 = 4,
    kOpenGlEsVersion = 5,
    kVulkan = 6,
    kD3d11 = 7,
    kD3d10 = 8,
    kD3d12 = 9,
    kD3d9 = 10,
    kDummy = INT_MAX,
};

// ---------------------------------------------------------------------------
// Logging.

enum class LogLevel : unsigned {
    kDebug = 0,
    kInfo = 1,
    kWarn = 2,
    kError = 3,
};

extern "C" {

// Callbacks the frontend hands to the core.
using EnvironmentFn = bool (*)(unsigned cmd, void* data);
using VideoRefreshFn = void (*)(const void* data, unsigned width, unsigned height,
                                std::size_t pitch);
using AudioSampleFn = void (*)(std::int16_t left, std::int16_t right);
using AudioSampleBatchFn = std::size_t (*)(const std::int16_t* data, std::size_t frames);
using InputPollFn = void (*)();
using InputStateFn = std::int16_t (*)(unsigned port, unsigned device, unsigned index, unsigned id);
using LogPrintfFn = void (*)(LogLevel level, const char* format, ...);

// Hardware render callbacks.
using ProcAddressFn = void (*)();
using HwContextResetFn = void (*)();
using HwGetCurrentFramebufferFn = std::uintptr_t (*)();
using HwGetProcAddressFn = ProcAddressFn (*)(const char* symbol);

struct LogCallback {
    LogPrintfFn log;
};

struct SystemInfo {
    const char* library_name;
    const char* library_version;
    const char* valid_extensions;  // "|"-separated, without dots
    bool need_fullpath;
    bool block_extract;
};

struct GameGeometry {
    unsigned base_width;
    unsigned base_height;
    unsigned max_width;
    unsigned max_height;
    float aspect_ratio;
};

struct SystemTiming {
    double fps;
    double sample_rate;
};

struct SystemAvInfo {
    GameGeometry geometry;
    SystemTiming timing;
};

struct GameInfo {
    const char* path;
    const void* data;
    std::size_t size;
    const char* meta;
};

struct Variable {
    const char* key;
    const char* value;
};

struct Message {
    const char* msg;
    unsigned frames;
};

struct InputDescriptor {
    unsigned port;
    unsigned device;
    unsigned index;
    unsigned id;
    const char* description;
};

struct ControllerDescription {
    const char* desc;
    unsigned id;
};

struct ControllerInfo {
    const ControllerDescription* types;
    unsigned num_types;
};

// Core options: a value list is ended by an entry whose `value` is NULL.
inline constexpr std::size_t kNumCoreOptionValuesMax = 128;

struct CoreOptionValue {
    const char* value;
    const char* label;
};

// Version 1 definitions; an array is ended by an entry whose `key` is NULL.
struct CoreOptionDefinition {
    const char* key;
    const char* desc;
    const char* info;
    CoreOptionValue values[kNumCoreOptionValuesMax];
    const char* default_value;
};

struct CoreOptionsIntl {
    CoreOptionDefinition* us;
    CoreOptionDefinition* local;
};

// Version 2: categories and definitions, each array ended by a NULL `key`.
struct CoreOptionV2Category {
    const char* key;
    const char* desc;
    const char* info;
};

struct CoreOptionV2Definition {
    const char* key;
    const char* desc;
    const char* desc_categorized;
    const char* info;
    const char* info_categorized;
    const char* category_key;
    CoreOptionValue values[kNumCoreOptionValuesMax];
    const char* default_value;
};

struct CoreOptionsV2 {
    CoreOptionV2Category* categories;
    CoreOptionV2Definition* definitions;
};

struct CoreOptionsV2Intl {
    CoreOptionsV2* us;
    CoreOptionsV2* local;
};

// Disc control, version 0 (SET_DISK_CONTROL_INTERFACE).
using DiskSetEjectStateFn = bool (*)(bool ejected);
using DiskGetEjectStateFn = bool (*)();
using DiskGetImageIndexFn = unsigned (*)();
using DiskSetImageIndexFn = bool (*)(unsigned index);
using DiskGetNumImagesFn = unsigned (*)();
using DiskReplaceImageIndexFn = bool (*)(unsigned index, const GameInfo* info);
using DiskAddImageIndexFn = bool (*)();
// Version 1 additions (SET_DISK_CONTROL_EXT_INTERFACE).
using DiskSetInitialImageFn = bool (*)(unsigned index, const char* path);
using DiskGetImagePathFn = bool (*)(unsigned index, char* path, std::size_t length);
using DiskGetImageLabelFn = bool (*)(unsigned index, char* label, std::size_t length);

struct DiskControlCallback {
    DiskSetEjectStateFn set_eject_state;
    DiskGetEjectStateFn get_eject_state;
    DiskGetImageIndexFn get_image_index;
    DiskSetImageIndexFn set_image_index;
    DiskGetNumImagesFn get_num_images;
    DiskReplaceImageIndexFn replace_image_index;
    DiskAddImageIndexFn add_image_index;
};

struct DiskControlExtCallback {
    DiskSetEjectStateFn set_eject_state;
    DiskGetEjectStateFn get_eject_state;
    DiskGetImageIndexFn get_image_index;
    DiskSetImageIndexFn set_image_index;
    DiskGetNumImagesFn get_num_images;
    DiskReplaceImageIndexFn replace_image_index;
    DiskAddImageIndexFn add_image_index;
    DiskSetInitialImageFn set_initial_image;
    DiskGetImagePathFn get_image_path;
    DiskGetImageLabelFn get_image_label;
};

// SET_HW_RENDER: the core fills the request fields and its two context
// callbacks; the frontend fills `get_current_framebuffer` and `get_proc_address`.
struct HwRenderCallback {
    HwContextType context_type;
    HwContextResetFn context_reset;
    HwGetCurrentFramebufferFn get_current_framebuffer;
    HwGetProcAddressFn get_proc_address;
    bool depth;
    bool stencil;
    bool bottom_left_origin;
    unsigned version_major;
    unsigned version_minor;
    bool cache_context;
    HwContextResetFn context_destroy;
    bool debug_context;
};

// The 23 entry points every core exports.
using SetEnvironmentFn = void (*)(EnvironmentFn);
using SetVideoRefreshFn = void (*)(VideoRefreshFn);
using SetAudioSampleFn = void (*)(AudioSampleFn);
using SetAudioSampleBatchFn = void (*)(AudioSampleBatchFn);
using SetInputPollFn = void (*)(InputPollFn);
using SetInputStateFn = void (*)(InputStateFn);
using SetControllerPortDeviceFn = void (*)(unsigned port, unsigned device);
using InitFn = void (*)();
using DeinitFn = void (*)();
using ApiVersionFn = unsigned (*)();
using GetSystemInfoFn = void (*)(SystemInfo* info);
using GetSystemAvInfoFn = void (*)(SystemAvInfo* info);
using LoadGameFn = bool (*)(const GameInfo* game);
using UnloadGameFn = void (*)();
using RunFn = void (*)();
using ResetFn = void (*)();
using SerializeSizeFn = std::size_t (*)();
using SerializeFn = bool (*)(void* data, std::size_t size);
using UnserializeFn = bool (*)(const void* data, std::size_t size);
using CheatResetFn = void (*)();
using CheatSetFn = void (*)(unsigned index, bool enabled, const char* code);
using GetMemoryDataFn = void* (*)(unsigned id);
using GetMemorySizeFn = std::size_t (*)(unsigned id);

}  // extern "C"

// ---------------------------------------------------------------------------
// Layout checks for x86-64 (System V).

static_assert(sizeof(void*) == 8 && sizeof(unsigned) == 4 && sizeof(bool) == 1,
              "these declarations describe the x86-64 System V layout");
static_assert(sizeof(PixelFormat) == 4 && sizeof(HwContextType) == 4 && sizeof(LogLevel) == 4);

static_assert(sizeof(LogCallback) == 8);
static_assert(sizeof(SystemInfo) == 32);
static_assert(offsetof(SystemInfo, need_fullpath) == 24);
static_assert(offsetof(SystemInfo, block_extract) == 25);
static_assert(sizeof(GameGeometry) == 20);
static_assert(offsetof(GameGeometry, aspect_ratio) == 16);
static_assert(sizeof(SystemTiming) == 16);
static_assert(sizeof(SystemAvInfo) == 40);
static_assert(offsetof(SystemAvInfo, timing) == 24);
static_assert(sizeof(GameInfo) == 32);
static_assert(offsetof(GameInfo, size) == 16 && offsetof(GameInfo, meta) == 24);
static_assert(sizeof(Variable) == 16);
static_assert(sizeof(Message) == 16);
static_assert(sizeof(InputDescriptor) == 24 && offsetof(InputDescriptor, description) == 16);
static_assert(sizeof(ControllerDescription) == 16 && sizeof(ControllerInfo) == 16);
static_assert(sizeof(CoreOptionValue) == 16);
static_assert(offsetof(CoreOptionDefinition, values) == 24);
static_assert(offsetof(CoreOptionDefinition, default_value) == 24 + 128 * 16);
static_assert(sizeof(CoreOptionDefinition) == 2080);
static_assert(sizeof(CoreOptionsIntl) == 16);
static_assert(sizeof(CoreOptionV2Category) == 24);
static_assert(offsetof(CoreOptionV2Definition, category_key) == 40);
static_assert(offsetof(CoreOptionV2Definition, values) == 48);
static_assert(sizeof(CoreOptionV2Definition) == 2104);
static_assert(sizeof(CoreOptionsV2) == 16 && sizeof(CoreOptionsV2Intl) == 16);
static_assert(sizeof(DiskControlCallback) == 7 * 8);
static_assert(sizeof(DiskControlExtCallback) == 10 * 8);
static_assert(offsetof(DiskControlExtCallback, set_initial_image) == 7 * 8);
static_assert(offsetof(HwRenderCallback, context_reset) == 8);
static_assert(offsetof(HwRenderCallback, get_current_framebuffer) == 16);
static_assert(offsetof(HwRenderCallback, get_proc_address) == 24);
static_assert(offsetof(HwRenderCallback, depth) == 32);
static_assert(offsetof(HwRenderCallback, stencil) == 33);
static_assert(offsetof(HwRenderCallback, bottom_left_origin) == 34);
static_assert(offsetof(HwRenderCallback, version_major) == 36);
static_assert(offsetof(HwRenderCallback, version_minor) == 40);
static_assert(offsetof(HwRenderCallback, cache_context) == 44);
static_assert(offsetof(HwRenderCallback, context_destroy) == 48);
static_assert(offsetof(HwRenderCallback, debug_context) == 56);
static_assert(sizeof(HwRenderCallback) == 64);

}  // namespace lk::retro
