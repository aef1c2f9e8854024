-- Wireshark dissector for the krogw gateway protocol ("RTU NETWORK GateWay for TCP/IP").
-- Load it with `tshark -X lua_script:krogw.lua` or copy it into the personal Lua plugins
-- folder. One file on purpose: a Lua plugin is installed by copying a single file.

local krogw = Proto("krogw", "krogw RTU gateway protocol")

local HEADER_BYTES = 20
local BODY_OFFSET = 36
local RANGE_BYTES = 16       -- RTU, table, rows, columns and reserved bytes ahead of data
local RECEIVE_LIMIT = 8300   -- the largest message the driver's threads can take
local REPLY_BIT = 0x80000000
local STATUS_NORMAL = 1
local STATUS_QUEUE_FULL = 0x1000001
local RESULT_RTU_FAILED = 129
local END_OF_ROWS = 255

local OP = {
    open = 1, close = 7, set_mode = 8, gw_status = 9, rtu_status = 10, poll = 257,
    send_data = 258, send_command = 259, poll_list = 261, setcall = 513, set_time = 1028,
    burst = 2049,
}
local OPCODE_NAMES = {
    [OP.open] = "Open channel", [OP.close] = "Close channel", [OP.set_mode] = "Set mode",
    [OP.gw_status] = "Gateway status", [OP.rtu_status] = "RTU channel status",
    [OP.poll] = "Poll", [OP.send_data] = "Send data", [OP.send_command] = "Send command",
    [OP.poll_list] = "Poll (row list)", [OP.setcall] = "SetCall", [OP.set_time] = "Set RTU time",
    [OP.burst] = "Burst report",
}
-- Replies of these carry the RTU at offset 36, so a reply finds its own request even when
-- the gateway answers RTUs out of order.
local MATCH_BY_RTU = {
    [OP.poll] = true, [OP.poll_list] = true, [OP.send_data] = true, [OP.send_command] = true,
    [OP.set_time] = true,
}

local ELEMENT_BIT, ELEMENT_16, ELEMENT_32, STAMP_FULL, STAMP_SHORT = 1, 2, 3, 4, 5
local STAMP_BYTES = { [STAMP_FULL] = 8, [STAMP_SHORT] = 6 }
local ELEMENT_NAMES = { "8-bit", "16-bit", "32-bit", "4 bytes", "4 bytes" }
local WEEKDAYS = { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" }

---------------------------------------------------------------------------------------------
-- Preferences

krogw.prefs.tcp_port = Pref.uint("TCP port", 5001, "The gateway's TCP port")
krogw.prefs.config_file = Pref.string("Configuration file", "",
    "A kroGWnn.int whose table type lines give the row layouts of poll and burst data")
krogw.prefs.burst_tables = Pref.string("Burst tables", "",
    "Table type of each RTU table in burst reports, as RTU/TABLE=TYPE separated by commas " ..
    "(e.g. 12/5=3,7/1=2); polls seen in the capture add theirs")

---------------------------------------------------------------------------------------------
-- Fields

local F = {
    head_mark = ProtoField.uint16("krogw.head_mark", "Head mark"),
    reserved = ProtoField.bytes("krogw.reserved", "Reserved"),
    message_class = ProtoField.uint32("krogw.message_class", "Message class"),
    channel_id = ProtoField.uint16("krogw.channel_id", "Channel id", base.HEX),
    status = ProtoField.uint32("krogw.status", "Status", base.HEX,
        { [0] = "none (request)", [STATUS_NORMAL] = "normal",
          [STATUS_QUEUE_FULL] = "gateway message queue full" }),
    total_length = ProtoField.uint16("krogw.total_length", "Total length"),
    tail_mark = ProtoField.uint16("krogw.tail_mark", "Tail mark"),
    sections = ProtoField.uint16("krogw.sections", "Sections"),
    command = ProtoField.uint32("krogw.command", "Command word", base.HEX),
    reply = ProtoField.bool("krogw.reply", "Reply", 32, nil, REPLY_BIT),
    opcode = ProtoField.uint32("krogw.opcode", "Opcode", base.DEC, OPCODE_NAMES, 0x7FFFFFFF),
    result = ProtoField.uint32("krogw.result", "Result code", base.DEC,
        { [0] = "success", [RESULT_RTU_FAILED] = "communication with the RTU failed" }),
    data_length = ProtoField.uint16("krogw.data_length", "Data length"),
    table_type = ProtoField.uint8("krogw.table_type", "Table type"),
    aux_word = ProtoField.bytes("krogw.aux_word", "Aux word"),

    channel_type = ProtoField.uint8("krogw.channel_type", "Channel type", base.DEC,
        { [0] = "status or sync", [7] = "burst" }),
    instance = ProtoField.stringz("krogw.instance", "Instance name"),
    assigned_channel = ProtoField.uint16("krogw.assigned_channel", "Assigned channel id", base.HEX),
    closed_channel = ProtoField.uint16("krogw.closed_channel", "Channel id to close", base.HEX),
    mode = ProtoField.uint8("krogw.mode", "Mode", base.DEC,
        { [0] = "primary (active)", [1] = "secondary (standby)" }),
    gw_status = ProtoField.uint32("krogw.gw_status", "Gateway status word", base.HEX),
    gw_status_bit0 = ProtoField.bool("krogw.gw_status.bit0", "Bit 0 (set in both modes)", 32, nil, 0x1),
    gw_status_standby = ProtoField.bool("krogw.gw_status.standby", "Standby (bit 2)", 32, nil, 0x4),
    gw_mode_value = ProtoField.uint8("krogw.gw_status.mode_value", "Mode value (word AND 5)",
        base.DEC, { [1] = "active", [5] = "standby" }),
    channel_value = ProtoField.uint8("krogw.rtu_channel.value", "Channel status value"),
    channel_flag0 = ProtoField.bool("krogw.rtu_channel.flag0", "Flag 0 (byte 59 bit 0)", 8, nil, 0x1),
    channel_flag1 = ProtoField.bool("krogw.rtu_channel.flag1", "Flag 1 (byte 59 bit 1)", 8, nil, 0x2),

    rtu = ProtoField.uint16("krogw.rtu", "RTU"),
    table = ProtoField.uint8("krogw.table", "Table"),
    first_row = ProtoField.uint8("krogw.first_row", "First row"),
    rows = ProtoField.uint8("krogw.rows", "Number of rows"),
    first_column = ProtoField.uint8("krogw.first_column", "First column"),
    columns = ProtoField.uint8("krogw.columns", "Number of columns"),
    row = ProtoField.uint8("krogw.row", "Row"),
    value = ProtoField.uint32("krogw.value", "Value"),
    element_width = ProtoField.uint8("krogw.element_width", "Element width (bits)"),
    timestamp = ProtoField.string("krogw.timestamp", "RTU time stamp"),
    data = ProtoField.bytes("krogw.data", "Data"),
    section = ProtoField.uint16("krogw.section", "Section"),

    time_year = ProtoField.uint8("krogw.time.year", "Year - 1980"),
    time_month = ProtoField.uint8("krogw.time.month", "Month"),
    time_day = ProtoField.uint8("krogw.time.day", "Day"),
    time_weekday = ProtoField.uint8("krogw.time.weekday", "Day of the week + 1"),
    time_hour = ProtoField.uint8("krogw.time.hour", "Hour"),
    time_minute = ProtoField.uint8("krogw.time.minute", "Minute"),
    time_second = ProtoField.uint8("krogw.time.second", "Second"),
    time_text = ProtoField.string("krogw.time", "RTU clock set to"),

    setcall_qr = ProtoField.uint8("krogw.setcall.qr", "QR"),
    setcall_qd = ProtoField.uint16("krogw.setcall.qd", "QD"),
    setcall_qc = ProtoField.uint8("krogw.setcall.qc", "QC"),
    setcall_sr = ProtoField.uint8("krogw.setcall.sr", "SR"),
    setcall_sd = ProtoField.uint16("krogw.setcall.sd", "SD"),

    request_in = ProtoField.framenum("krogw.request_in", "Request in frame", base.NONE,
        frametype.REQUEST),
    reply_in = ProtoField.framenum("krogw.reply_in", "Reply in frame", base.NONE,
        frametype.RESPONSE),
    response_time = ProtoField.relative_time("krogw.response_time", "Time since request"),
}
local field_list = {}
for _, field in pairs(F) do field_list[#field_list + 1] = field end
krogw.fields = field_list

local E = {
    short = ProtoExpert.new("krogw.expert.short", "total_length below 20",
        expert.group.MALFORMED, expert.severity.ERROR),
    too_long = ProtoExpert.new("krogw.expert.too_long", "total_length past the receive buffer",
        expert.group.MALFORMED, expert.severity.ERROR),
    truncated = ProtoExpert.new("krogw.expert.truncated", "Message ends too early",
        expert.group.MALFORMED, expert.severity.ERROR),
    data_length = ProtoExpert.new("krogw.expert.data_length", "data_length does not fit",
        expert.group.MALFORMED, expert.severity.WARN),
    head_mark = ProtoExpert.new("krogw.expert.head_mark", "Head mark is not 1",
        expert.group.MALFORMED, expert.severity.WARN),
    unknown_opcode = ProtoExpert.new("krogw.expert.unknown_opcode", "Unknown opcode",
        expert.group.UNDECODED, expert.severity.WARN),
    result = ProtoExpert.new("krogw.expert.result", "Gateway error code",
        expert.group.RESPONSE_CODE, expert.severity.WARN),
    queue_full = ProtoExpert.new("krogw.expert.queue_full", "Gateway message queue full",
        expert.group.SEQUENCE, expert.severity.WARN),
    bad_status = ProtoExpert.new("krogw.expert.bad_status", "Bad delivery status",
        expert.group.PROTOCOL, expert.severity.WARN),
    unmatched = ProtoExpert.new("krogw.expert.unmatched_reply", "Reply matches no request",
        expert.group.SEQUENCE, expert.severity.WARN),
    overrun = ProtoExpert.new("krogw.expert.section_overrun", "Burst rows longer than announced",
        expert.group.MALFORMED, expert.severity.WARN),
    layout = ProtoExpert.new("krogw.expert.layout", "Row layout unknown or not matching",
        expert.group.UNDECODED, expert.severity.NOTE),
}
krogw.experts = { E.short, E.too_long, E.truncated, E.data_length, E.head_mark,
    E.unknown_opcode, E.result, E.queue_full, E.bad_status, E.unmatched, E.overrun, E.layout }

local tcp_stream_field = Field.new("tcp.stream")
local frame_time_field = Field.new("frame.time")

---------------------------------------------------------------------------------------------
-- Table layouts from the configuration file, read the way the driver reads it

local CONFIG_KEYS = { "STATS_FILE", "PRIMARY", "SECONDARY", "SIGN_RTU", "POLL_BUFFER_LENGTH",
    "CMD_BUFFER_LENGTH", "CMD_RESPONSE_TIME", "PARSE", "POLL_RESULT", "RTU_INITIAL_STATE",
    "KEEPALIVE", "STATS_PERIOD" }
local MAX_COLUMNS = 8

-- Keeps only the characters 0x21..0x7F; a last line without a line feed counts only with
-- ten or more of them.
local function config_lines(text)
    local lines = {}
    local ends_with_feed = text:sub(-1) == "\n"
    for raw in text:gmatch("([^\n]*)\n?") do
        lines[#lines + 1] = raw:gsub("[^\33-\127]", "")
    end
    if lines[#lines] == "" then lines[#lines] = nil end
    if not ends_with_feed and #lines > 0 and #lines[#lines] < 10 then lines[#lines] = nil end
    return lines
end

-- A table type line as "N=T,T,...,0": the layout, or nil when the driver refuses the line.
local function parse_table_type(line)
    local number = tonumber(line:sub(1, 2):match("^[+-]?%d+") or "")
    local equals = line:find("=", 1, true)
    if number == nil or number < 0 or number > 99 or equals == nil then return nil end
    local types = {}
    local at = equals + 1
    while at <= #line + 1 do
        local digit = tonumber(line:sub(at, at):match("%d") or "")
        if digit ~= nil and digit >= 6 then return nil end
        if digit == 0 then
            if (types[2] == STAMP_FULL and #types ~= 3) or (types[2] == STAMP_SHORT and #types ~= 4) then
                return nil
            end
            return number, types
        end
        if digit ~= nil then types[#types + 1] = digit end
        if #types > MAX_COLUMNS then return nil end
        local comma = line:find(",", at, true)
        if comma == nil then return nil end  -- no terminating 0
        at = comma + 1
    end
    return nil
end

local function load_layouts(path)
    local layouts = {}
    local file = io.open(path, "rb")
    if file == nil then return layouts, "cannot open " .. path end
    local text = file:read("*a")
    file:close()
    for _, line in ipairs(config_lines(text)) do
        local is_key = false
        for _, key in ipairs(CONFIG_KEYS) do
            if line:find(key, 1, true) then is_key = true break end
        end
        if not is_key then
            local number, types = parse_table_type(line)
            if number ~= nil then layouts[number] = types end
        end
    end
    return layouts, nil
end

local config = { path = nil, layouts = {}, problem = nil }

local function layouts()
    local path = krogw.prefs.config_file
    if path ~= config.path then
        config.path = path
        if path == "" then
            config.layouts, config.problem = {}, nil
        else
            config.layouts, config.problem = load_layouts(path)
        end
    end
    return config.layouts
end

---------------------------------------------------------------------------------------------
-- State across the capture: reply matching and the table types of burst rows

local state = {}

local function reset_state()
    state.pending = {}        -- [stream][key] = list of requests not yet answered
    state.replies = {}        -- [message id] = its request, or false when none matched
    state.reply_frame = {}    -- [request message id] = frame of its reply
    state.learned_types = {}  -- ["rtu/table"] = table type, from polls
    state.first_in_frame = {} -- [frame] = id of its first message, which sets the Info column
end
reset_state()

function krogw.init()
    reset_state()
end

local function burst_table_type(rtu, table_number)
    local wanted = rtu .. "/" .. table_number
    for entry in krogw.prefs.burst_tables:gmatch("[^,%s]+") do
        local key, type_number = entry:match("^(%d+/%d+)=(%d+)$")
        if key == wanted then return tonumber(type_number) end
    end
    return state.learned_types[wanted]
end

---------------------------------------------------------------------------------------------
-- Reading helpers bound to one message

-- Reports a field that does not fit in the message; true when it fits.
local function fits(msg, offset, width, what)
    if offset + width <= msg.tvb:len() then return true end
    msg.tree:add_proto_expert_info(E.truncated,
        string.format("Message ends before %s (needs %d bytes, has %d)", what, offset + width,
            msg.tvb:len()))
    return false
end

local function year_of(byte)
    return 1900 + byte + (byte < 70 and 100 or 0)
end

-- A data cursor: a byte position and a bit mask, as the driver reads poll data.
local Cursor = {}
Cursor.__index = Cursor

local function new_cursor(msg, position)
    return setmetatable({ msg = msg, pos = position, mask = 0x80, ended = false }, Cursor)
end

function Cursor:align()
    if self.mask ~= 0x80 then
        self.pos = self.pos + 1
        self.mask = 0x80
    end
end

function Cursor:take(width, what)
    self:align()
    if self.pos + width > self.msg.tvb:len() then
        self.ended = true
        self.msg.tree:add_proto_expert_info(E.truncated,
            string.format("Data ends inside %s at byte %d", what, self.pos))
        return nil
    end
    local range = self.msg.tvb(self.pos, width)
    self.pos = self.pos + width
    return range
end

function Cursor:bit(what)
    if self.pos >= self.msg.tvb:len() then
        self.ended = true
        self.msg.tree:add_proto_expert_info(E.truncated,
            string.format("Data ends inside %s at byte %d", what, self.pos))
        return nil
    end
    local range = self.msg.tvb(self.pos, 1)
    local set = bit32.band(range:uint(), self.mask) ~= 0
    local mask = self.mask
    self.mask = bit32.rshift(self.mask, 1)
    if self.mask == 0 then
        self.mask = 0x80
        self.pos = self.pos + 1
    end
    return range, set and 1 or 0, mask
end

function Cursor:bytes_used()
    return self.pos + (self.mask ~= 0x80 and 1 or 0)
end

---------------------------------------------------------------------------------------------
-- Table rows

local function is_time_stamped(types)
    return types[2] == STAMP_FULL or types[2] == STAMP_SHORT
end

local function add_time_stamp(tree, cursor, stamp_type)
    local range = cursor:take(STAMP_BYTES[stamp_type], "a time stamp")
    if range == nil then return end
    local day, month, year, hour, minute, second, ms
    if stamp_type == STAMP_FULL then
        day, month, year = range(0, 1):uint(), range(1, 1):uint(), year_of(range(2, 1):uint())
        hour, minute, second = range(3, 1):uint(), range(4, 1):uint(), range(5, 1):uint()
        ms = range(6, 2):uint()
    else
        local w0, w1, w2 = range(0, 2):uint(), range(2, 2):uint(), range(4, 2):uint()
        month, year = bit32.band(w0, 0xF), year_of(bit32.extract(w0, 4, 8))
        minute, hour, day = bit32.band(w1, 0x3F), bit32.extract(w1, 6, 5), bit32.extract(w1, 11, 5)
        ms, second = bit32.band(w2, 0x3FF), bit32.extract(w2, 10, 6)
    end
    tree:add(F.timestamp, range, string.format("%04d-%02d-%02d %02d:%02d:%02d.%03d",
        year, month, day, hour, minute, second, ms))
end

-- One element at the cursor: bits packed in poll data, whole bytes in burst rows.
local function add_element(tree, cursor, column, element_type, packed)
    local label = string.format("Column %d", column)
    if element_type == ELEMENT_BIT and packed then
        local range, value, mask = cursor:bit(label)
        if range == nil then return false end
        tree:add(F.value, range, value):set_text(string.format("%s (bit, mask 0x%02X): %d",
            label, mask, value))
        return true
    end
    local width = ({ [ELEMENT_BIT] = 1, [ELEMENT_16] = 2 })[element_type] or 4
    local range = cursor:take(width, label)
    if range == nil then return false end
    local item = tree:add(F.value, range, range:uint())
    if element_type > ELEMENT_32 then
        item:set_text(string.format("%s (%s, not interpreted): %s", label,
            ELEMENT_NAMES[element_type], range:bytes():tohex()))
    else
        item:set_text(string.format("%s (%s): %d", label, ELEMENT_NAMES[element_type], range:uint()))
    end
    return true
end

-- The elements of one row; a time-stamped row holds column 0 and its time stamp only.
local function add_row_elements(tree, cursor, types, packed)
    for column = 0, #types - 1 do
        if not add_element(tree, cursor, column, types[column + 1], packed) then return false end
        if column == 0 and is_time_stamped(types) then
            add_time_stamp(tree, cursor, types[2])
            return not cursor.ended
        end
    end
    return true
end

---------------------------------------------------------------------------------------------
-- Bodies

local function add_range_body(msg, tree)
    local tvb = msg.tvb
    if not fits(msg, BODY_OFFSET, RANGE_BYTES, "the RTU and row range") then return false end
    tree:add(F.rtu, tvb(36, 2))
    tree:add(F.table, tvb(38, 1))
    tree:add(F.first_row, tvb(39, 1))
    tree:add(F.rows, tvb(40, 1))
    tree:add(F.first_column, tvb(41, 1))
    tree:add(F.columns, tvb(42, 1))
    tree:add(F.reserved, tvb(43, 9))
    msg.rtu, msg.table = tvb(36, 2):uint(), tvb(38, 1):uint()
    msg.summary = string.format("%s RTU %d table %d rows %d+%d", msg.summary, msg.rtu, msg.table,
        tvb(39, 1):uint(), tvb(40, 1):uint())
    return true
end

local function add_poll_data(msg, tree, type_number, list_form)
    local tvb = msg.tvb
    local types = layouts()[type_number]
    if types == nil then
        if tvb:len() > 52 then tree:add(F.data, tvb(52)) end
        if config.path ~= "" then
            tree:add_proto_expert_info(E.layout, config.problem or
                string.format("Table type %d is not in the configuration file", type_number))
        end
        return
    end
    local cursor = new_cursor(msg, 52)
    local row = tvb(39, 1):uint()
    local last = row + tvb(40, 1):uint()
    while row < last and #types > 0 do
        local row_range_start = cursor.pos
        if list_form then
            local range = cursor:take(1, "a row number")
            if range == nil then return end
            if range:uint() == END_OF_ROWS then
                tree:add(krogw, range, "End of rows (255)")
                break
            end
            row = range:uint()
        end
        local row_tree = tree:add(F.row, tvb(row_range_start, 0), row)
        local ok = add_row_elements(row_tree, cursor, types, true)
        row_tree:set_len(math.max(cursor:bytes_used() - row_range_start, 1))
        if not ok then return end
        row = row + 1
    end
    local spare = tvb:len() - cursor:bytes_used()
    if spare > 0 then
        tree:add(F.data, tvb(cursor:bytes_used()))
        tree:add_proto_expert_info(E.layout, string.format(
            "%d bytes after the last row: does table type %d match the RTU table?", spare,
            type_number))
    end
end

local function add_poll(msg, tree)
    if not add_range_body(msg, tree) then return end
    state.learned_types[msg.rtu .. "/" .. msg.table] = msg.tvb(34, 1):uint()
    if msg.is_reply and msg.result == 0 then
        add_poll_data(msg, tree, msg.tvb(34, 1):uint(), msg.opcode == OP.poll_list)
    end
end

-- The element width of a write follows from its data size: count/8 rounded up for 8-bit
-- elements (sent as bits), 2 or 4 bytes per element otherwise.
local function write_width(count, data_bytes)
    if data_bytes == 2 * count then return 16 end
    if data_bytes == 4 * count then return 32 end
    if data_bytes == math.ceil(count / 8) then return 8 end
    return nil
end

local function add_write(msg, tree)
    if not add_range_body(msg, tree) then return end
    if msg.is_reply then return end
    local tvb = msg.tvb
    local count = tvb(40, 1):uint()
    local data_bytes = tvb:len() - 52
    local width = write_width(count, data_bytes)
    if width == nil then
        if data_bytes > 0 then tree:add(F.data, tvb(52)) end
        tree:add_proto_expert_info(E.data_length, string.format(
            "%d value bytes fit no element width for %d elements", data_bytes, count))
        return
    end
    tree:add(F.element_width, tvb(52, 0), width):set_generated()
    local cursor = new_cursor(msg, 52)
    for element = 0, count - 1 do
        local row = tvb(39, 1):uint() + element
        if width == 8 then
            local range, value = cursor:bit("a value")
            tree:add(F.value, range, value):set_text(string.format("Row %d: %d", row, value))
        else
            local range = cursor:take(width / 8, "a value")
            tree:add(F.value, range, range:uint()):set_text(string.format("Row %d: %d", row,
                range:uint()))
        end
    end
end

local function add_open_channel(msg, tree)
    local tvb = msg.tvb
    if msg.is_reply then
        if not fits(msg, 36, 5, "the assigned channel id") then return end
        tree:add(F.channel_type, tvb(38, 1))
        tree:add(F.assigned_channel, tvb(39, 2))
        msg.summary = string.format("%s type %d id 0x%04X", msg.summary, tvb(38, 1):uint(),
            tvb(39, 2):uint())
        return
    end
    if not fits(msg, 36, 2, "the instance name") then return end
    tree:add(F.channel_type, tvb(36, 1))
    tree:add(F.instance, tvb(37))
    msg.summary = string.format("%s type %d %s", msg.summary, tvb(36, 1):uint(),
        tvb(37):stringz())
end

local function add_close_channel(msg, tree)
    if msg.is_reply then return end
    local tvb = msg.tvb
    if not fits(msg, 36, 3, "the instance name") then return end
    tree:add(F.closed_channel, tvb(36, 2))
    tree:add(F.instance, tvb(38))
    msg.summary = string.format("%s id 0x%04X %s", msg.summary, tvb(36, 2):uint(), tvb(38):stringz())
end

local function add_set_mode(msg, tree)
    if msg.is_reply then return end
    if not fits(msg, 36, 1, "the mode") then return end
    tree:add(F.mode, msg.tvb(36, 1))
    msg.summary = msg.summary .. (msg.tvb(36, 1):uint() == 0 and " active" or " standby")
end

local function add_gateway_status(msg, tree)
    if not msg.is_reply or msg.result ~= 0 then return end
    if not fits(msg, 36, 4, "the status word") then return end
    local range = msg.tvb(36, 4)
    local word_tree = tree:add(F.gw_status, range)
    word_tree:add(F.gw_status_bit0, range)
    word_tree:add(F.gw_status_standby, range)
    word_tree:add(F.gw_mode_value, range, bit32.band(range:uint(), 5)):set_generated()
    msg.summary = string.format("%s 0x%04X", msg.summary, range:uint())
end

local function add_rtu_channel_status(msg, tree)
    if not fits(msg, 36, 2, "the RTU") then return end
    local tvb = msg.tvb
    tree:add(F.rtu, tvb(36, 2))
    msg.rtu = tvb(36, 2):uint()
    msg.summary = string.format("%s RTU %d", msg.summary, msg.rtu)
    if not msg.is_reply or msg.result ~= 0 then return end
    if not fits(msg, 53, 7, "the channel status values") then return end
    for offset = 53, 55 do tree:add(F.channel_value, tvb(offset, 1)) end
    tree:add(F.channel_flag0, tvb(59, 1))
    tree:add(F.channel_flag1, tvb(59, 1))
end

local function add_set_time(msg, tree)
    local tvb = msg.tvb
    if not fits(msg, 36, 2, "the RTU") then return end
    tree:add(F.rtu, tvb(36, 2))
    msg.rtu = tvb(36, 2):uint()
    msg.summary = string.format("%s RTU %d", msg.summary, msg.rtu)
    if msg.is_reply then return end
    if not fits(msg, 52, 7, "the date and time") then return end
    local fields = { F.time_year, F.time_month, F.time_day, F.time_weekday, F.time_hour,
        F.time_minute, F.time_second }
    local v = {}
    for i, field in ipairs(fields) do
        tree:add(field, tvb(51 + i, 1))
        v[i] = tvb(51 + i, 1):uint()
    end
    local text = string.format("%04d-%02d-%02d %s %02d:%02d:%02d", 1980 + v[1], v[2], v[3],
        WEEKDAYS[v[4]] or ("weekday " .. v[4]), v[5], v[6], v[7])
    tree:add(F.time_text, tvb(52, 7), text):set_generated()
    msg.summary = msg.summary .. " " .. text
end

local function add_setcall(msg, tree)
    if msg.is_reply then return end
    local tvb = msg.tvb
    if not fits(msg, 36, 23, "the SetCall parameters") then return end
    tree:add(F.rtu, tvb(36, 2))
    tree:add(F.setcall_qr, tvb(52, 1))
    tree:add(F.setcall_qd, tvb(53, 2))
    tree:add(F.setcall_qc, tvb(55, 1))
    tree:add(F.setcall_sr, tvb(56, 1))
    tree:add(F.setcall_sd, tvb(57, 2))
    msg.summary = string.format("%s RTU %d", msg.summary, tvb(36, 2):uint())
end

-- Sections follow one another: a command block, a body with the RTU, then rows of table
-- number, row number and elements at burst sizes.
local function add_burst(msg, tree)
    local tvb = msg.tvb
    local sections = tvb(18, 2):uint()
    local at = 20
    local rtus = {}
    for section = 1, sections do
        if not fits(msg, at, 32, string.format("section %d", section)) then return end
        local announced = tvb(at + 12, 2):uint()
        local rtu = tvb(at + 16, 2):uint()
        rtus[#rtus + 1] = tostring(rtu)
        local section_tree = tree:add(F.section, tvb(at, math.min(16 + announced, tvb:len() - at)),
            section)
        section_tree:append_text(string.format(", RTU %d", rtu))
        if section > 1 then
            section_tree:add(F.command, tvb(at, 4))
            section_tree:add(F.data_length, tvb(at + 12, 2))
        end
        section_tree:add(F.rtu, tvb(at + 16, 2))
        local cursor = new_cursor(msg, at + 32)
        local rows_end = at + 16 + announced
        if rows_end > tvb:len() then
            section_tree:add_proto_expert_info(E.truncated, string.format(
                "Section %d announces %d bytes, past the end of the message", section, announced))
        end
        while cursor.pos < rows_end and cursor.pos < tvb:len() do
            local start = cursor.pos
            local head = cursor:take(2, "a row's table and row number")
            if head == nil then return end
            local table_number, row = head(0, 1):uint(), head(1, 1):uint()
            local type_number = burst_table_type(rtu, table_number)
            local types = type_number and layouts()[type_number]
            if types == nil then
                local rest = math.min(rows_end, tvb:len()) - start
                section_tree:add(F.data, tvb(start, rest))
                section_tree:add_proto_expert_info(E.layout, string.format(
                    "Table type of RTU %d table %d unknown: rows shown as bytes", rtu, table_number))
                cursor.pos = start + rest
                break
            end
            local row_tree = section_tree:add(krogw, tvb(start, 2),
                string.format("Table %d row %d", table_number, row))
            row_tree:add(F.table, head(0, 1))
            row_tree:add(F.row, head(1, 1))
            local ok = add_row_elements(row_tree, cursor, types, false)
            row_tree:set_len(cursor.pos - start)
            if not ok then return end
        end
        if cursor.pos > rows_end then
            section_tree:add_proto_expert_info(E.overrun, string.format(
                "Rows of section %d take %d bytes more than its data_length", section,
                cursor.pos - rows_end))
        end
        at = cursor.pos
    end
    msg.summary = string.format("%s RTU %s", msg.summary, table.concat(rtus, ","))
    if at < tvb:len() then
        tree:add(F.data, tvb(at))
        tree:add_proto_expert_info(E.layout, string.format("%d bytes after the last section",
            tvb:len() - at))
    end
end

local BODIES = {
    [OP.open] = add_open_channel, [OP.close] = add_close_channel, [OP.set_mode] = add_set_mode,
    [OP.gw_status] = add_gateway_status, [OP.rtu_status] = add_rtu_channel_status,
    [OP.poll] = add_poll, [OP.poll_list] = add_poll, [OP.send_data] = add_write,
    [OP.send_command] = add_write, [OP.set_time] = add_set_time, [OP.setcall] = add_setcall,
    [OP.burst] = add_burst,
}

---------------------------------------------------------------------------------------------
-- Requests and replies

local function match_key(msg)
    local rtu = ""
    if MATCH_BY_RTU[msg.opcode] and msg.tvb:len() >= 38 then rtu = "/" .. msg.tvb(36, 2):uint() end
    return msg.opcode .. rtu
end

local function add_request_reply(msg, pinfo, tree)
    if msg.opcode == OP.burst or OPCODE_NAMES[msg.opcode] == nil then return end
    if not pinfo.visited then
        local stream = tostring(tcp_stream_field().value)
        state.pending[stream] = state.pending[stream] or {}
        local pending = state.pending[stream]
        local key = match_key(msg)
        if msg.is_reply then
            local queue = pending[key]
            local request = queue and table.remove(queue, 1)
            state.replies[msg.id] = request or false
            if request then state.reply_frame[request.id] = pinfo.number end
        else
            pending[key] = pending[key] or {}
            table.insert(pending[key], { id = msg.id, frame = pinfo.number, time = frame_time_field().value })
        end
    end
    if msg.is_reply then
        local request = state.replies[msg.id]
        if not request then
            tree:add_proto_expert_info(E.unmatched, string.format(
                "%s reply matches no request on this connection", OPCODE_NAMES[msg.opcode]))
            return
        end
        tree:add(F.request_in, request.frame):set_generated()
        tree:add(F.response_time, frame_time_field().value - request.time):set_generated()
    elseif state.reply_frame[msg.id] then
        tree:add(F.reply_in, state.reply_frame[msg.id]):set_generated()
    end
end

---------------------------------------------------------------------------------------------
-- Header and command block

local function add_header(msg, tree)
    local tvb = msg.tvb
    local header = tree:add(krogw, tvb(0, HEADER_BYTES), "Header")
    local mark = header:add(F.head_mark, tvb(0, 2))
    if tvb(0, 2):uint() ~= 1 then mark:add_proto_expert_info(E.head_mark) end
    header:add(F.reserved, tvb(2, 2))
    header:add_le(F.message_class, tvb(4, 4))
    header:add_le(F.channel_id, tvb(8, 2))
    header:add(F.reserved, tvb(10, 2))
    local status = tvb(12, 4):uint()
    local status_item = header:add(F.status, tvb(12, 4))
    if status == STATUS_QUEUE_FULL then
        status_item:add_proto_expert_info(E.queue_full)
    elseif status ~= STATUS_NORMAL and status ~= 0 then
        status_item:add_proto_expert_info(E.bad_status, string.format("Bad delivery status 0x%X",
            status))
    end
    header:add(F.total_length, tvb(16, 2))
    header:add(F.tail_mark, tvb(18, 2))
end

local function add_command_block(msg, tree)
    local tvb = msg.tvb
    local block = tree:add(krogw, tvb(20, 16), "Command block")
    local command = block:add(F.command, tvb(20, 4))
    command:add(F.reply, tvb(20, 4))
    command:add(F.opcode, tvb(20, 4))
    block:add(F.reserved, tvb(24, 4))
    local result_item = block:add(F.result, tvb(28, 4))
    if msg.result ~= 0 and msg.result ~= RESULT_RTU_FAILED then
        result_item:set_text(string.format("Result code: gateway error code %d", msg.result))
    end
    if msg.result ~= 0 then
        result_item:add_proto_expert_info(E.result, msg.result == RESULT_RTU_FAILED
            and "Result 129: communication with the RTU failed"
            or string.format("Gateway error code %d", msg.result))
    end
    local data_length_item = block:add(F.data_length, tvb(32, 2))
    -- A burst report's first data_length counts its first section only.
    if msg.opcode ~= OP.burst and tvb(32, 2):uint() ~= tvb:len() - BODY_OFFSET then
        data_length_item:add_proto_expert_info(E.data_length, string.format(
            "data_length %d, but total_length leaves %d body bytes", tvb(32, 2):uint(),
            tvb:len() - BODY_OFFSET))
    end
    if msg.opcode == OP.poll or msg.opcode == OP.poll_list then
        block:add(F.table_type, tvb(34, 1))
        block:add(F.reserved, tvb(35, 1))
    else
        block:add(F.aux_word, tvb(34, 2))
    end
    if OPCODE_NAMES[msg.opcode] == nil then
        command:add_proto_expert_info(E.unknown_opcode, string.format("Unknown opcode %d (0x%X)",
            msg.opcode, msg.opcode))
    end
end

local function dissect_message(tvb, pinfo, tree, id)
    local msg = { tvb = tvb, id = id, result = 0, opcode = nil, is_reply = false }
    local msg_tree = tree:add(krogw, tvb())
    msg.tree = msg_tree
    add_header(msg, msg_tree)
    if tvb:len() < BODY_OFFSET then
        msg_tree:add_proto_expert_info(E.truncated, string.format(
            "Message of %d bytes has no command block", tvb:len()))
        msg_tree:append_text(", header only")
        return "Header only"
    end
    local word = tvb(20, 4):uint()
    msg.opcode = bit32.band(word, 0x7FFFFFFF)
    msg.is_reply = bit32.band(word, REPLY_BIT) ~= 0
    msg.result = tvb(28, 4):uint()
    add_command_block(msg, msg_tree)
    msg.summary = (OPCODE_NAMES[msg.opcode] or string.format("Opcode 0x%X", msg.opcode)) ..
        (msg.is_reply and " reply" or (msg.opcode == OP.burst and "" or " request"))
    if msg.opcode == OP.burst then
        msg_tree:add(F.sections, tvb(18, 2)):set_generated()
    end
    local body = BODIES[msg.opcode]
    if body ~= nil then
        body(msg, msg_tree)
    elseif tvb:len() > BODY_OFFSET then
        msg_tree:add(F.data, tvb(BODY_OFFSET))
    end
    if msg.result ~= 0 then msg.summary = string.format("%s, result %d", msg.summary, msg.result) end
    add_request_reply(msg, pinfo, msg_tree)
    msg_tree:append_text(", " .. msg.summary)
    return msg.summary
end

---------------------------------------------------------------------------------------------
-- The TCP stream: messages cut by total_length, reassembled across segments

function krogw.dissector(tvb, pinfo, tree)
    local offset = 0
    local available = tvb:len()
    while offset < available do
        local left = available - offset
        if left < HEADER_BYTES then
            pinfo.desegment_offset = offset
            pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
            return available
        end
        local total = tvb(offset + 16, 2):uint()
        if total < HEADER_BYTES or total > RECEIVE_LIMIT then
            -- Nothing tells where the next message starts: take the rest as this one's.
            pinfo.cols.protocol = krogw.name
            local item = tree:add(krogw, tvb(offset))
            item:add(F.total_length, tvb(offset + 16, 2))
            item:add_proto_expert_info(total < HEADER_BYTES and E.short or E.too_long,
                string.format("total_length %d is %s", total, total < HEADER_BYTES
                    and "below 20: the stream cannot be followed"
                    or "past the 8300 bytes a receiver takes"))
            pinfo.cols.info:set("Bad total_length " .. total)
            return available
        end
        if left < total then
            pinfo.desegment_offset = offset
            pinfo.desegment_len = total - left
            return available
        end
        -- The same id on every pass over the frame: a reassembled buffer and the frame's own
        -- bytes have different raw offsets.
        local id = string.format("%d:%d:%d", pinfo.number, tvb:offset(), offset)
        local summary = dissect_message(tvb(offset, total):tvb(), pinfo, tree, id)
        pinfo.cols.protocol = krogw.name
        state.first_in_frame[pinfo.number] = state.first_in_frame[pinfo.number] or id
        if state.first_in_frame[pinfo.number] == id then
            pinfo.cols.info:set(summary)
        else
            pinfo.cols.info:append(" | " .. summary)
        end
        offset = offset + total
    end
    return offset
end

local registered_port = nil

local function register_port()
    local tcp_table = DissectorTable.get("tcp.port")
    if registered_port ~= nil then tcp_table:remove(registered_port, krogw) end
    registered_port = krogw.prefs.tcp_port
    tcp_table:add(registered_port, krogw)
end

function krogw.prefs_changed()
    register_port()
end

register_port()
