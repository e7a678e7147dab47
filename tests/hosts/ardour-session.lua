-- Run by Ardour's Lua session tool: ardour7-lua ardour-session.lua DIR NAME PLUGIN [TYPE [N=V...]]
-- TYPE is LXVST (the default) or LV2, with PLUGIN a name or an LV2 URI; each N=V sets the
-- plug-in's control N (from 0) to V in its own units once it is inserted.
-- Makes a session on the dummy backend with one stereo track that has the plug-in inserted,
-- records the backend's white noise on it, then renders the recording through the track's
-- processors (the plug-in) offline with a bounce. The session is saved so that the export
-- tool can play the recording through the plug-in again.
local dir, name, plugname = arg[1], arg[2], arg[3]
local plugtype = ARDOUR.PluginType[arg[4] or "LXVST"]
assert(plugtype, "no plug-in type " .. tostring(arg[4]))

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(backend, "no dummy backend")
backend:set_device_name("Uniform White Noise")
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
assert(create_session(dir, name, 48000), "no session")

local list = Session:new_audio_track(2, 2, nil, 1, "source",
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
local source
for t in list:iter() do source = t end
assert(source, "no track")

local plugin = ARDOUR.LuaAPI.new_plugin(Session, plugname, plugtype, "")
assert(not plugin:isnil(), "plug-in " .. plugname .. " not found")
assert(source:add_processor_by_index(plugin, 0, nil, true) == 0, "plug-in not inserted")
print("inserted plug-in: " .. plugin:display_name())
for i = 5, #arg do
  local n, v = string.match(arg[i], "^(%d+)=(.+)$")
  assert(n, "bad setting " .. arg[i])
  assert(ARDOUR.LuaAPI.set_processor_param(plugin, tonumber(n), tonumber(v)), "cannot set " .. arg[i])
  print(string.format("param %d set to %s", n, v))
end
-- The plug-in's output unchanged on the track's outputs: no panning law in between.
source:panner_shell():set_bypassed(true)

source:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
ARDOUR.LuaAPI.usleep(200000)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(3000000)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(1000000)
assert(not Session:transport_rolling(), "the transport did not stop")
source:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
ARDOUR.LuaAPI.usleep(200000)

local recorded
for r in source:playlist():region_list():iter() do recorded = r end
assert(recorded, "nothing was recorded")
local from = recorded:position():samples()
local to = from + recorded:length():samples()
local bounced = source:bounce_range(from, to, ARDOUR.InterThreadInfo(), source:main_outs(), false, "bounced")
assert(not bounced:isnil(), "the bounce made no region")
print(string.format("recorded %d frames; bounced them through the plug-in", to - from))

Session:save_state("", false, false, false, false, false)
print("session saved")
close_session()
