// The part of the CLAP plug-in interface this plug-in uses, written from the published interface
// (version 1.2): the entry, the factory, the plug-in and host records, events and processing,
// and the extensions we offer or ask the host for. Only plain C layouts: every record crosses
// the boundary as the host's compiler lays it out, every function uses the C calling
// convention, and nothing here throws.
//
// Names follow the interface's own spelling inside namespace `clap`, without its prefix.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define CLAP_CALL __cdecl
#else
#define CLAP_CALL
#endif

namespace clap {

using id = uint32_t;
inline constexpr id kInvalidId = UINT32_MAX;

inline constexpr uint32_t kNameSize = 256;
inline constexpr uint32_t kPathSize = 1024;

struct version {
  uint32_t major;
  uint32_t minor;
  uint32_t revision;
};
// The interface version this plug-in is written against; hosts accept any 1.x.
inline constexpr version kVersion{1, 2, 0};

struct plugin;
struct host;

// ---- Entry and factory

struct plugin_entry {
  version clap_version;
  bool(CLAP_CALL* init)(const char* plugin_path);
  void(CLAP_CALL* deinit)();
  const void*(CLAP_CALL* get_factory)(const char* factory_id);
};

inline constexpr const char kPluginFactoryId[] = "clap.plugin-factory";

struct plugin_descriptor {
  version clap_version;
  const char* id;
  const char* name;
  const char* vendor;
  const char* url;
  const char* manual_url;
  const char* support_url;
  const char* version_text; // the interface's "version"
  const char* description;
  const char* const* features; // null-terminated
};

struct plugin_factory {
  uint32_t(CLAP_CALL* get_plugin_count)(const plugin_factory* factory);
  const plugin_descriptor*(CLAP_CALL* get_plugin_descriptor)(const plugin_factory* factory,
                                                             uint32_t index);
  const plugin*(CLAP_CALL* create_plugin)(const plugin_factory* factory, const host* h,
                                          const char* plugin_id);
};

// ---- Events

struct event_header {
  uint32_t size; // of the whole event
  uint32_t time; // frame within the block
  uint16_t space_id;
  uint16_t type;
  uint32_t flags;
};

inline constexpr uint16_t kCoreEventSpace = 0;

enum event_type : uint16_t {
  kEventNoteOn = 0,
  kEventNoteOff = 1,
  kEventNoteChoke = 2,
  kEventNoteEnd = 3,
  kEventNoteExpression = 4,
  kEventParamValue = 5,
  kEventParamMod = 6,
  kEventParamGestureBegin = 7,
  kEventParamGestureEnd = 8,
  kEventTransport = 9,
  kEventMidi = 10,
  kEventMidiSysex = 11,
  kEventMidi2 = 12,
};

struct event_note {
  event_header header;
  int32_t note_id; // -1: none
  int16_t port_index;
  int16_t channel; // 0..15, -1: any
  int16_t key;     // 0..127, -1: any
  double velocity; // 0..1
};

struct event_param_value {
  event_header header;
  id param_id;
  void* cookie;
  int32_t note_id;
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double value; // plain value
};

struct event_param_gesture {
  event_header header;
  id param_id;
};

struct event_midi {
  event_header header;
  uint16_t port_index;
  uint8_t data[3];
};

struct input_events {
  void* ctx;
  uint32_t(CLAP_CALL* size)(const input_events* list);
  const event_header*(CLAP_CALL* get)(const input_events* list, uint32_t index);
};

struct output_events {
  void* ctx;
  bool(CLAP_CALL* try_push)(const output_events* list, const event_header* event);
};

// ---- Processing

struct audio_buffer {
  float** data32;
  double** data64;
  uint32_t channel_count;
  uint32_t latency;
  uint64_t constant_mask;
};

struct event_transport; // passed through, never read

struct process {
  int64_t steady_time;
  uint32_t frames_count;
  const event_transport* transport;
  const audio_buffer* audio_inputs;
  audio_buffer* audio_outputs;
  uint32_t audio_inputs_count;
  uint32_t audio_outputs_count;
  const input_events* in_events;
  const output_events* out_events;
};

using process_status = int32_t;
enum : process_status {
  kProcessError = 0,
  kProcessContinue = 1,
  kProcessContinueIfNotQuiet = 2,
  kProcessTail = 3,
  kProcessSleep = 4,
};

// ---- The plug-in and the host

struct plugin {
  const plugin_descriptor* desc;
  void* plugin_data;
  bool(CLAP_CALL* init)(const plugin* p);
  void(CLAP_CALL* destroy)(const plugin* p);
  bool(CLAP_CALL* activate)(const plugin* p, double sample_rate, uint32_t min_frames_count,
                            uint32_t max_frames_count);
  void(CLAP_CALL* deactivate)(const plugin* p);
  bool(CLAP_CALL* start_processing)(const plugin* p);
  void(CLAP_CALL* stop_processing)(const plugin* p);
  void(CLAP_CALL* reset)(const plugin* p);
  process_status(CLAP_CALL* process)(const plugin* p, const clap::process* data);
  const void*(CLAP_CALL* get_extension)(const plugin* p, const char* extension_id);
  void(CLAP_CALL* on_main_thread)(const plugin* p);
};

struct host {
  version clap_version;
  void* host_data;
  const char* name;
  const char* vendor;
  const char* url;
  const char* version_text; // the interface's "version"
  const void*(CLAP_CALL* get_extension)(const host* h, const char* extension_id);
  void(CLAP_CALL* request_restart)(const host* h);
  void(CLAP_CALL* request_process)(const host* h);
  void(CLAP_CALL* request_callback)(const host* h);
};

// ---- Streams

struct istream {
  void* ctx;
  int64_t(CLAP_CALL* read)(const istream* stream, void* buffer, uint64_t size);
};

struct ostream {
  void* ctx;
  int64_t(CLAP_CALL* write)(const ostream* stream, const void* buffer, uint64_t size);
};

// ---- Extensions

inline constexpr const char kExtAudioPorts[] = "clap.audio-ports";
inline constexpr const char kPortStereo[] = "stereo";
enum : uint32_t { kAudioPortIsMain = 1u << 0 };

struct audio_port_info {
  id port_id; // the interface's "id"
  char name[kNameSize];
  uint32_t flags;
  uint32_t channel_count;
  const char* port_type;
  id in_place_pair;
};

struct plugin_audio_ports {
  uint32_t(CLAP_CALL* count)(const plugin* p, bool is_input);
  bool(CLAP_CALL* get)(const plugin* p, uint32_t index, bool is_input, audio_port_info* info);
};

inline constexpr const char kExtNotePorts[] = "clap.note-ports";
enum : uint32_t {
  kNoteDialectClap = 1u << 0,
  kNoteDialectMidi = 1u << 1,
  kNoteDialectMidiMpe = 1u << 2,
  kNoteDialectMidi2 = 1u << 3,
};

struct note_port_info {
  id port_id; // the interface's "id"
  uint32_t supported_dialects;
  uint32_t preferred_dialect;
  char name[kNameSize];
};

struct plugin_note_ports {
  uint32_t(CLAP_CALL* count)(const plugin* p, bool is_input);
  bool(CLAP_CALL* get)(const plugin* p, uint32_t index, bool is_input, note_port_info* info);
};

inline constexpr const char kExtParams[] = "clap.params";
enum : uint32_t {
  kParamIsStepped = 1u << 0,
  kParamIsAutomatable = 1u << 5,
};

struct param_info {
  id param_id; // the interface's "id"
  uint32_t flags;
  void* cookie;
  char name[kNameSize];
  char module[kPathSize];
  double min_value;
  double max_value;
  double default_value;
};

struct plugin_params {
  uint32_t(CLAP_CALL* count)(const plugin* p);
  bool(CLAP_CALL* get_info)(const plugin* p, uint32_t param_index, param_info* info);
  bool(CLAP_CALL* get_value)(const plugin* p, id param_id, double* out_value);
  bool(CLAP_CALL* value_to_text)(const plugin* p, id param_id, double value, char* out_buffer,
                                 uint32_t out_buffer_capacity);
  bool(CLAP_CALL* text_to_value)(const plugin* p, id param_id, const char* param_value_text,
                                 double* out_value);
  void(CLAP_CALL* flush)(const plugin* p, const input_events* in, const output_events* out);
};

struct host_params {
  void(CLAP_CALL* rescan)(const host* h, uint32_t flags);
  void(CLAP_CALL* clear)(const host* h, id param_id, uint32_t flags);
  void(CLAP_CALL* request_flush)(const host* h);
};

inline constexpr const char kExtState[] = "clap.state";

struct plugin_state {
  bool(CLAP_CALL* save)(const plugin* p, const ostream* stream);
  bool(CLAP_CALL* load)(const plugin* p, const istream* stream);
};

inline constexpr const char kExtLatency[] = "clap.latency";

struct plugin_latency {
  uint32_t(CLAP_CALL* get)(const plugin* p);
};

inline constexpr const char kExtGui[] = "clap.gui";
inline constexpr const char kWindowApiWin32[] = "win32";
inline constexpr const char kWindowApiX11[] = "x11";

struct window {
  const char* api;
  union {
    unsigned long x11;
    void* win32;
    void* ptr;
  };
};

struct gui_resize_hints {
  bool can_resize_horizontally;
  bool can_resize_vertically;
  bool preserve_aspect_ratio;
  uint32_t aspect_ratio_width;
  uint32_t aspect_ratio_height;
};

struct plugin_gui {
  bool(CLAP_CALL* is_api_supported)(const plugin* p, const char* api, bool is_floating);
  bool(CLAP_CALL* get_preferred_api)(const plugin* p, const char** api, bool* is_floating);
  bool(CLAP_CALL* create)(const plugin* p, const char* api, bool is_floating);
  void(CLAP_CALL* destroy)(const plugin* p);
  bool(CLAP_CALL* set_scale)(const plugin* p, double scale);
  bool(CLAP_CALL* get_size)(const plugin* p, uint32_t* width, uint32_t* height);
  bool(CLAP_CALL* can_resize)(const plugin* p);
  bool(CLAP_CALL* get_resize_hints)(const plugin* p, gui_resize_hints* hints);
  bool(CLAP_CALL* adjust_size)(const plugin* p, uint32_t* width, uint32_t* height);
  bool(CLAP_CALL* set_size)(const plugin* p, uint32_t width, uint32_t height);
  bool(CLAP_CALL* set_parent)(const plugin* p, const window* w);
  bool(CLAP_CALL* set_transient)(const plugin* p, const window* w);
  void(CLAP_CALL* suggest_title)(const plugin* p, const char* title);
  bool(CLAP_CALL* show)(const plugin* p);
  bool(CLAP_CALL* hide)(const plugin* p);
};

inline constexpr const char kExtTimerSupport[] = "clap.timer-support";

struct plugin_timer_support {
  void(CLAP_CALL* on_timer)(const plugin* p, id timer_id);
};

struct host_timer_support {
  bool(CLAP_CALL* register_timer)(const host* h, uint32_t period_ms, id* timer_id);
  bool(CLAP_CALL* unregister_timer)(const host* h, id timer_id);
};

inline constexpr const char kExtPosixFdSupport[] = "clap.posix-fd-support";
enum : uint32_t {
  kFdRead = 1u << 0,
  kFdWrite = 1u << 1,
  kFdError = 1u << 2,
};

struct plugin_posix_fd_support {
  void(CLAP_CALL* on_fd)(const plugin* p, int fd, uint32_t flags);
};

struct host_posix_fd_support {
  bool(CLAP_CALL* register_fd)(const host* h, int fd, uint32_t flags);
  bool(CLAP_CALL* modify_fd)(const host* h, int fd, uint32_t flags);
  bool(CLAP_CALL* unregister_fd)(const host* h, int fd);
};

inline constexpr const char kExtThreadCheck[] = "clap.thread-check";

struct host_thread_check {
  bool(CLAP_CALL* is_main_thread)(const host* h);
  bool(CLAP_CALL* is_audio_thread)(const host* h);
};

} // namespace clap
