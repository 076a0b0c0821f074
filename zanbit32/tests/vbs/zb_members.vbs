' ZBUtility through a script client: objects created by ProgID, members
' called by name. Prints one line per failed check and a closing summary.
' The build writes zb_common.vbs in front of this part: its host check runs
' first, and its Pass, Fail and Summary keep the counts.

Sub Check(what, got, want, typeWanted)
    Dim ok
    ok = (TypeName(got) = typeWanted)
    If ok Then ok = (got = want)
    If ok Then
        Pass
    Else
        Fail what & ": got " & got & " (" & TypeName(got) & "), expected " & want & " (" & typeWanted & ")"
    End If
End Sub

Dim zb, zb1
Set zb = CreateObject("Zanbit32.ZBUtility")
Set zb1 = CreateObject("Zanbit32.ZBUtility.1")

Check "Version", zb.Version, "0.00.001: Halden Utility 1.0 Library.", "String"
Check "Version through the versioned ProgID", zb1.Version, "0.00.001: Halden Utility 1.0 Library.", "String"

' Words and bytes
Check "AddUnsignedInt 32767 + 1", zb.AddUnsignedInt(32767, 1), -32768, "Integer"
Check "AddUnsignedInt -1 + -1", zb.AddUnsignedInt(-1, -1), -2, "Integer"
Check "AddUnsignedLong", zb.AddUnsignedLong(2147483647, 1), -2147483648, "Long"
Check "HiWord", zb.HiWord(196608), 3, "Integer"
Check "HiWord -65536", zb.HiWord(-65536), -1, "Integer"
Check "LoWord", zb.LoWord(65535), -1, "Integer"
Check "MakeLong (-1, 0)", zb.MakeLong(-1, 0), 65535, "Long"
Check "MakeLong (0, -1)", zb.MakeLong(0, -1), -65536, "Long"
Check "Signed 40000", zb.Signed(40000), -25536, "Integer"
Check "Unsigned -1", zb.Unsigned(-1), 65535, "Long"
Check "HiByte", zb.HiByte(&H1234), &H12, "Byte"
Check "LoByte", zb.LoByte(-1), 255, "Byte"
Check "MakeWord (0, 255)", zb.MakeWord(0, 255), -256, "Integer"
Check "MakeWord (255, 0)", zb.MakeWord(255, 0), 255, "Integer"

' Shifts and limits
Check "ShiftIntLeft by 16", zb.ShiftIntLeft(1, 16, 0), 0, "Integer"
Check "ShiftIntLeft by 33", zb.ShiftIntLeft(1, 33, 0), 2, "Integer"
Check "ShiftIntRight arithmetic", zb.ShiftIntRight(-32768, 15, 1), -1, "Integer"
Check "ShiftIntRight logical", zb.ShiftIntRight(-32768, 15, 0), 1, "Integer"
Check "ShiftIntLeft roll", zb.ShiftIntLeft(16385, 1, 2), -32766, "Integer"
Check "ShiftIntRight roll", zb.ShiftIntRight(1, 1, 2), -32768, "Integer"
Check "ShiftLongRight roll", zb.ShiftLongRight(1, 1, 2), -2147483648, "Long"
Check "ShiftLongLeft roll by 32", zb.ShiftLongLeft(&H12345678, 32, 2), &H12345678, "Long"
Check "ConstrainInt", zb.ConstrainInt(5, 5, 5), 5, "Integer"
Check "ConstrainLong", zb.ConstrainLong(-100, -50, 50), -50, "Long"

' Bits in the script's own variables
Dim x
x = CInt(0)
zb.SetBits x, 0, 15
Check "SetBits on an integer variable", x, -1, "Integer"
zb.ClearBits x, 4, 11
Check "ClearBits on an integer variable", x, CInt(&HF00F), "Integer"
x = CLng(0)
zb.SetBits x, 31, 31
Check "SetBits on a long variable", x, -2147483648, "Long"
x = CByte(165)
Check "GetBits of a byte", zb.GetBits(x, 4, 7), 10, "Long"
Check "GetBits of a long", zb.GetBits(CLng(-1), 0, 31), -1, "Long"
Check "GetBits of an integer", zb.GetBits(-1, 0, 15), 65535, "Long"

' Max and Min
Check "Max of currency", zb.Max(CCur(1.0001), CCur(1.0002)), CCur(1.0002), "Currency"
Check "Min of bytes", zb.Min(CByte(200), CByte(100)), 100, "Byte"
Check "Min of integers", zb.Min(CInt(-1), CInt(1)), -1, "Integer"
Check "Max of doubles", zb.Max(2.5, -7.25), 2.5, "Double"

' Memory
Dim addr
addr = zb.AllocMemory(16)
Check "AllocMemory gives an address", addr <> 0, True, "Boolean"
zb.PokeDword addr, &H11223344
Check "PeekByte after PokeDword", zb.PeekByte(addr), &H44, "Byte"
Check "PeekWord unaligned", zb.PeekWord(addr + 1), &H2233, "Integer"
Check "PeekDword", zb.PeekDword(addr), &H11223344, "Long"
zb.PokeByte addr + 3, 255
zb.PokeWord addr, -2
Check "PeekDword after PokeByte and PokeWord", zb.PeekDword(addr), CLng(&HFF22FFFE), "Long"
zb1.FreeMemory addr
zb.FreeMemory 0

Set zb = Nothing
Set zb1 = Nothing
Summary
