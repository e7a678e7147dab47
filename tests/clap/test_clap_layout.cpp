// The CLAP records as the host's compiler lays them out, checked at compile time in every build
// (Linux x86-64, 64-bit and 32-bit Windows): offsets and sizes worked out by hand from the
// published layouts for 8-byte and 4-byte pointers. On every target here a double and a 64-bit
// integer sit on 8-byte boundaries inside records.
#include "clap/ClapInterface.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

constexpr bool k64 = sizeof(void*) == 8;
static_assert(sizeof(void*) == 8 || sizeof(void*) == 4);

// Offsets for 64-bit and for 32-bit pointers.
constexpr size_t By(size_t at64, size_t at32) {
  return k64 ? at64 : at32;
}

#define QL_AT(type, field, at64, at32) static_assert(offsetof(type, field) == By(at64, at32))
#define QL_SIZE(type, size64, size32) static_assert(sizeof(type) == By(size64, size32))

QL_SIZE(clap::version, 12, 12);

QL_AT(clap::plugin_entry, init, 16, 12);
QL_AT(clap::plugin_entry, get_factory, 32, 20);
QL_SIZE(clap::plugin_entry, 40, 24);

QL_AT(clap::plugin_descriptor, id, 16, 12);
QL_AT(clap::plugin_descriptor, version_text, 64, 36);
QL_AT(clap::plugin_descriptor, features, 80, 44);
QL_SIZE(clap::plugin_descriptor, 88, 48);

QL_SIZE(clap::plugin_factory, 24, 12);

QL_AT(clap::plugin, plugin_data, 8, 4);
QL_AT(clap::plugin, init, 16, 8);
QL_AT(clap::plugin, process, 72, 36);
QL_AT(clap::plugin, on_main_thread, 88, 44);
QL_SIZE(clap::plugin, 96, 48);

QL_AT(clap::host, host_data, 16, 12);
QL_AT(clap::host, get_extension, 56, 32);
QL_AT(clap::host, request_callback, 80, 44);
QL_SIZE(clap::host, 88, 48);

QL_AT(clap::event_header, time, 4, 4);
QL_AT(clap::event_header, space_id, 8, 8);
QL_AT(clap::event_header, type, 10, 10);
QL_AT(clap::event_header, flags, 12, 12);
QL_SIZE(clap::event_header, 16, 16);

QL_AT(clap::event_note, note_id, 16, 16);
QL_AT(clap::event_note, port_index, 20, 20);
QL_AT(clap::event_note, channel, 22, 22);
QL_AT(clap::event_note, key, 24, 24);
QL_AT(clap::event_note, velocity, 32, 32);
QL_SIZE(clap::event_note, 40, 40);

QL_AT(clap::event_param_value, param_id, 16, 16);
QL_AT(clap::event_param_value, cookie, 24, 20);
QL_AT(clap::event_param_value, note_id, 32, 24);
QL_AT(clap::event_param_value, port_index, 36, 28);
QL_AT(clap::event_param_value, channel, 38, 30);
QL_AT(clap::event_param_value, key, 40, 32);
QL_AT(clap::event_param_value, value, 48, 40);
QL_SIZE(clap::event_param_value, 56, 48);

QL_AT(clap::event_param_gesture, param_id, 16, 16);
QL_SIZE(clap::event_param_gesture, 20, 20);

QL_AT(clap::event_midi, port_index, 16, 16);
QL_AT(clap::event_midi, data, 18, 18);
QL_SIZE(clap::event_midi, 24, 24);

QL_SIZE(clap::input_events, 24, 12);
QL_SIZE(clap::output_events, 16, 8);

QL_AT(clap::audio_buffer, data64, 8, 4);
QL_AT(clap::audio_buffer, channel_count, 16, 8);
QL_AT(clap::audio_buffer, latency, 20, 12);
QL_AT(clap::audio_buffer, constant_mask, 24, 16);
QL_SIZE(clap::audio_buffer, 32, 24);

QL_AT(clap::process, frames_count, 8, 8);
QL_AT(clap::process, transport, 16, 12);
QL_AT(clap::process, audio_inputs, 24, 16);
QL_AT(clap::process, audio_outputs, 32, 20);
QL_AT(clap::process, audio_inputs_count, 40, 24);
QL_AT(clap::process, audio_outputs_count, 44, 28);
QL_AT(clap::process, in_events, 48, 32);
QL_AT(clap::process, out_events, 56, 36);
QL_SIZE(clap::process, 64, 40);

QL_SIZE(clap::istream, 16, 8);
QL_SIZE(clap::ostream, 16, 8);

QL_AT(clap::audio_port_info, name, 4, 4);
QL_AT(clap::audio_port_info, flags, 260, 260);
QL_AT(clap::audio_port_info, channel_count, 264, 264);
QL_AT(clap::audio_port_info, port_type, 272, 268);
QL_AT(clap::audio_port_info, in_place_pair, 280, 272);
QL_SIZE(clap::audio_port_info, 288, 276);
QL_SIZE(clap::plugin_audio_ports, 16, 8);

QL_AT(clap::note_port_info, supported_dialects, 4, 4);
QL_AT(clap::note_port_info, preferred_dialect, 8, 8);
QL_AT(clap::note_port_info, name, 12, 12);
QL_SIZE(clap::note_port_info, 268, 268);
QL_SIZE(clap::plugin_note_ports, 16, 8);

QL_AT(clap::param_info, flags, 4, 4);
QL_AT(clap::param_info, cookie, 8, 8);
QL_AT(clap::param_info, name, 16, 12);
QL_AT(clap::param_info, module, 272, 268);
QL_AT(clap::param_info, min_value, 1296, 1296);
QL_AT(clap::param_info, max_value, 1304, 1304);
QL_AT(clap::param_info, default_value, 1312, 1312);
QL_SIZE(clap::param_info, 1320, 1320);
QL_AT(clap::plugin_params, flush, 40, 20);
QL_SIZE(clap::plugin_params, 48, 24);
QL_AT(clap::host_params, request_flush, 16, 8);
QL_SIZE(clap::host_params, 24, 12);

QL_SIZE(clap::plugin_state, 16, 8);
QL_SIZE(clap::plugin_latency, 8, 4);

QL_AT(clap::window, x11, 8, 4);
QL_AT(clap::window, win32, 8, 4);
QL_SIZE(clap::window, 16, 8);
QL_AT(clap::gui_resize_hints, preserve_aspect_ratio, 2, 2);
QL_AT(clap::gui_resize_hints, aspect_ratio_width, 4, 4);
QL_AT(clap::gui_resize_hints, aspect_ratio_height, 8, 8);
QL_SIZE(clap::gui_resize_hints, 12, 12);
QL_AT(clap::plugin_gui, set_parent, 80, 40);
QL_AT(clap::plugin_gui, hide, 112, 56);
QL_SIZE(clap::plugin_gui, 120, 60);

QL_SIZE(clap::plugin_timer_support, 8, 4);
QL_SIZE(clap::host_timer_support, 16, 8);
QL_SIZE(clap::plugin_posix_fd_support, 8, 4);
QL_SIZE(clap::host_posix_fd_support, 24, 12);
QL_SIZE(clap::host_thread_check, 16, 8);

// The layout of this build is the one above; the test's only run-time part says which it was.
TEST(ClapLayout, RecordsHaveThePublishedLayout) {
  EXPECT_EQ(sizeof(clap::param_info), 1320u);
  EXPECT_EQ(sizeof(clap::process), k64 ? 64u : 40u);
}

} // namespace
