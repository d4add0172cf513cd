-- Lumivox Tool's probes for Wireshark and tshark: the header, and the extension block at
-- offset 43 with its entries and whether its CRC-32C is right. Found by the signature on any
-- UDP port. Load it with -X lua_script:lumivox-probe.lua, or copy it to
-- ~/.local/lib/wireshark/plugins/. The format: docs/probe-format.md.

local probe = Proto("lumivox", "Lumivox Tool probe")
local signature = "Lumivox multicast probe packets\0"
local marker = "\181LVX"
local entryNames = { [1] = "member", [2] = "view_page", [3] = "send_time", [4] = "stream_timing",
    [5] = "member_summary", [6] = "signature" }

local f = probe.fields
f.version = ProtoField.uint16("lumivox.version", "Version")
f.type = ProtoField.uint8("lumivox.type", "Type", base.DEC,
    { [1] = "probe", [2] = "stopping", [3] = "probe (type 3)" })
f.seq = ProtoField.uint32("lumivox.seq", "Sequence number")
f.period = ProtoField.uint32("lumivox.period", "Period (s)")
f.block = ProtoField.none("lumivox.block", "Extension block")
f.block_version = ProtoField.uint8("lumivox.block.version", "Format version")
f.block_flags = ProtoField.uint8("lumivox.block.flags", "Flags", base.HEX)
f.block_length = ProtoField.uint16("lumivox.block.length", "Length")
f.entry_type = ProtoField.uint8("lumivox.block.entry", "Entry", base.DEC, entryNames)
f.entry_length = ProtoField.uint16("lumivox.block.entry.length", "Entry length")
f.entry_value = ProtoField.bytes("lumivox.block.entry.value", "Entry value")
f.send_time = ProtoField.uint64("lumivox.block.send_time", "Send time (ns since the epoch)")
f.crc = ProtoField.uint32("lumivox.block.crc", "CRC-32C", base.HEX)
f.crc_ok = ProtoField.bool("lumivox.block.crc_ok", "CRC right")

local crcTable = {}
for byte = 0, 255 do
    local crc = byte
    for _ = 1, 8 do
        crc = bit32.bxor(bit32.rshift(crc, 1), bit32.band(0x82F63B78, -bit32.band(crc, 1)))
    end
    crcTable[byte] = crc
end

local function crc32c(tvb, offset, length)
    local crc = 0xFFFFFFFF
    for at = offset, offset + length - 1 do
        crc = bit32.bxor(bit32.rshift(crc, 8), crcTable[bit32.band(bit32.bxor(crc, tvb(at, 1):uint()), 0xFF)])
    end
    return bit32.bxor(crc, 0xFFFFFFFF)
end

local function dissectBlock(tvb, tree)
    local length = tvb(49, 2):uint()
    if length < 12 or 43 + length > tvb:len() then
        tree:add(f.block, tvb(43)):append_text(" (its length does not fit: refused)")
        return
    end
    local block = tree:add(f.block, tvb(43, length))
    block:add(f.block_version, tvb(47, 1))
    block:add(f.block_flags, tvb(48, 1))
    block:add(f.block_length, tvb(49, 2))
    local crcAt = 43 + length - 4
    local at = 51
    while at + 3 <= crcAt do
        local valueLength = tvb(at + 1, 2):uint()
        if at + 3 + valueLength > crcAt then
            block:add(f.entry_type, tvb(at, 1)):append_text(" (past the block: refused)")
            break
        end
        local entry = block:add(f.entry_type, tvb(at, 1))
        entry:add(f.entry_length, tvb(at + 1, 2))
        if valueLength > 0 then
            entry:add(f.entry_value, tvb(at + 3, valueLength))
        end
        if tvb(at, 1):uint() == 3 and valueLength >= 8 then
            entry:add(f.send_time, tvb(at + 3, 8))
        end
        at = at + 3 + valueLength
    end
    block:add(f.crc, tvb(crcAt, 4))
    block:add(f.crc_ok, crc32c(tvb, 43, length - 4) == tvb(crcAt, 4):uint())
end

local function dissect(tvb, pinfo, tree)
    if tvb:len() < 43 or tvb:raw(0, 32) ~= signature then
        return false
    end
    pinfo.cols.protocol = "Lumivox"
    local root = tree:add(probe, tvb())
    root:add(f.version, tvb(32, 2))
    root:add(f.type, tvb(34, 1))
    root:add(f.seq, tvb(35, 4))
    root:add(f.period, tvb(39, 4))
    pinfo.cols.info = string.format("Probe %d, every %d s", tvb(35, 4):uint(), tvb(39, 4):uint())
    if tvb:len() >= 51 and tvb:raw(43, 4) == marker then
        dissectBlock(tvb, root)
    end
    return true
end

probe:register_heuristic("udp", dissect)
