#include "audio/audio_output_host.hpp"

namespace lk {

std::string_view audio_sample_format_name(AudioSampleFormat format) {
    switch (format) {
        case AudioSampleFormat::i8:
            return "I8";
        case AudioSampleFormat::i16:
            return "I16";
        case AudioSampleFormat::i24:
            return "I24";
        case AudioSampleFormat::i32:
            return "I32";
        case AudioSampleFormat::i64:
            return "I64";
        case AudioSampleFormat::u8:
            return "U8";
        case AudioSampleFormat::u16:
            return "U16";
        case AudioSampleFormat::u24:
            return "U24";
        case AudioSampleFormat::u32:
            return "U32";
        case AudioSampleFormat::u64:
            return "U64";
        case AudioSampleFormat::f32:
            return "F32";
        case AudioSampleFormat::f64:
            return "F64";
        case AudioSampleFormat::dsd_u8:
            return "DsdU8";
        case AudioSampleFormat::dsd_u16:
            return "DsdU16";
        case AudioSampleFormat::dsd_u32:
            return "DsdU32";
    }
    return "Unknown";
}

std::size_t audio_sample_format_bytes(AudioSampleFormat format) {
    switch (format) {
        case AudioSampleFormat::i8:
        case AudioSampleFormat::u8:
        case AudioSampleFormat::dsd_u8:
            return 1;
        case AudioSampleFormat::i16:
        case AudioSampleFormat::u16:
        case AudioSampleFormat::dsd_u16:
            return 2;
        case AudioSampleFormat::i24:
        case AudioSampleFormat::u24:
        case AudioSampleFormat::i32:
        case AudioSampleFormat::u32:
        case AudioSampleFormat::f32:
        case AudioSampleFormat::dsd_u32:
            return 4;
        case AudioSampleFormat::i64:
        case AudioSampleFormat::u64:
        case AudioSampleFormat::f64:
            return 8;
    }
    return 0;
}

}  // namespace lk
