-- Run by scripts/test-ardour through ardour7-lua (Ardour's Lua interpreter,
-- headless, on its own dummy audio engine): one session with one track
-- through one of the LV2 plug-ins.
--   OBJECT      the plug-in (urn:tildefx:OBJECT)
--   CHANNELS    1, or 2 for sidesplit~
--   SETTING     the value of every control, in port order, comma-separated
--               (an empty one leaves its control alone)
--   AUTOMATE    INDEX:A:B, control INDEX automated in steps from A to B and
--               back at each of the TIMES
--   TIMES       sample times of the automation steps, comma-separated
--   FOLDER      where the session goes
-- The track's input is Ardour's own noise generator, bounced to a region
-- and played from it. Three bounces with processing write, in the session's
-- interchange folder: in.wav (the noise), thru.wav (what reaches the
-- plug-in: the region, with Ardour's fades) and out.wav (the plug-in's
-- output, latency compensated by Ardour). Prints the automation steps where
-- Ardour put them ("event SAMPLE VALUE"), the latency the plug-in reports
-- and the session's block length.
local object = os.getenv("OBJECT")
local channels = tonumber(os.getenv("CHANNELS"))
local length = 44100 * 3

create_session(os.getenv("FOLDER") .. "/session", "session", 44100)
local track = Session:new_audio_track(channels, channels, nil, 1, object, ARDOUR.PresentationInfo.max_order,
  ARDOUR.TrackMode.Normal, true):front()
-- An inactive track is not run by the engine between bounces, so the
-- plug-in processes nothing but the bounces (and Ardour's own first run
-- that reads its latency).
track:set_active(false, nil)

local progress = ARDOUR.InterThreadInfo()
local noise = ARDOUR.LuaAPI.new_luaproc(Session, "ACE Noise")
track:add_processor_by_index(noise, 0, nil, true)
local input = track:bounce_range(0, length, progress, noise, true, "in", false)
track:remove_processor(noise, nil, true)
track:playlist():add_region(input, Temporal.timepos_t(0), 1, false, 0, 0, false)

local plugin = ARDOUR.LuaAPI.new_plugin(Session, "urn:tildefx:" .. object, ARDOUR.PluginType.LV2, "")
assert(not plugin:isnil(), "Ardour cannot load urn:tildefx:" .. object)
track:add_processor_by_index(plugin, 0, nil, true)
local index = 0
for value in string.gmatch(os.getenv("SETTING") .. ",", "([^,]*),") do
  if value ~= "" then ARDOUR.LuaAPI.set_processor_param(plugin, index, tonumber(value)) end
  index = index + 1
end

-- Steps, not ramps: Ardour splits its cycle at each step and delivers the
-- new value from there.
local which, a, b = string.match(os.getenv("AUTOMATE"), "(%d+):([^:]+):([^:]+)")
local list, curve = ARDOUR.LuaAPI.plugin_automation(plugin, tonumber(which))
curve:set_interpolation(Evoral.InterpolationStyle.Discrete)
curve:add(Temporal.timepos_t(0), tonumber(a), false, false)
local step = 0
for time in string.gmatch(os.getenv("TIMES"), "%d+") do
  step = step + 1
  curve:add(Temporal.timepos_t(tonumber(time)), step % 2 == 1 and tonumber(b) or tonumber(a), false, false)
end
local automatable = plugin:to_insert():to_automatable()
local parameter = Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, plugin:to_insert():plugin(0):nth_parameter(tonumber(which)))
automatable:automation_control(parameter, false):set_automation_state(ARDOUR.AutoState.Play)

for event in curve:events():iter() do print("event", event.when:samples(), event.value) end
print("latency " .. plugin:signal_latency())
print("block " .. Session:get_block_size())
track:bounce_range(0, length, progress, plugin, false, "thru", false)
track:bounce_range(0, length, progress, plugin, true, "out", false)
close_session()
