#include "desktop/NodeFormat.h"

#include <spa/param/audio/format-utils.h>

namespace desktop {

const spa_pod* offeredFormat(spa_pod_builder& builder, const NodeFormat& format) {
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = format.rate;
    info.channels = format.channels;
    // Stereo and mono are placed; wider layouts are the destination's own, in its order.
    if (format.channels == 2) {
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
    } else if (format.channels == 1) {
        info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    } else {
        info.flags = SPA_AUDIO_FLAG_UNPOSITIONED;
    }
    return spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info);
}

std::optional<NodeFormat> settledFormat(const spa_pod* parameter) {
    std::uint32_t mediaType = 0;
    std::uint32_t mediaSubtype = 0;
    if (parameter == nullptr || spa_format_parse(parameter, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_audio || mediaSubtype != SPA_MEDIA_SUBTYPE_raw) {
        return std::nullopt;
    }
    spa_audio_info_raw info{};
    if (spa_format_audio_raw_parse(parameter, &info) < 0 || info.format != SPA_AUDIO_FORMAT_F32 || info.channels == 0) {
        return std::nullopt;
    }
    return NodeFormat{info.channels, info.rate};
}

}  // namespace desktop
