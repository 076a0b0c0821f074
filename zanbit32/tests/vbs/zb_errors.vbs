' Errors of ZBUtility as a script client sees them: caught with
' On Error Resume Next, with number, description and source checked.
' The build writes zb_common.vbs in front of this part: its host check runs
' first, and its Pass, Fail and Summary keep the counts.

Sub Check(what, got, want)
    If got = want Then
        Pass
    Else
        Fail what & ": got """ & got & """, expected """ & want & """"
    End If
End Sub

Dim gNum, gDesc, gSrc, gHelpFile, gHelpContext
Sub Grab()
    gNum = Err.Number
    gDesc = Err.Description
    gSrc = Err.Source
    gHelpFile = Err.HelpFile
    gHelpContext = Err.HelpContext
End Sub

Sub ExpectError(what, number, description)
    Check what & ": Err.Number", gNum, number
    Check what & ": Err.Description", gDesc, description
    Check what & ": Err.Source", gSrc, "Zanbit32.ZBUtility"
    Check what & ": Err.HelpContext", gHelpContext, 1
    Check what & ": Err.HelpFile", LCase(Right(gHelpFile, 13)), "\zbsystem.hlp"
End Sub

Const InvalidParam = "Parameter invalid or out of range."

Dim zb, r
Set zb = CreateObject("Zanbit32.ZBUtility")

r = Empty
On Error Resume Next : r = zb.ShiftIntLeft(1, 1, 3) : Grab : On Error GoTo 0
ExpectError "ShiftIntLeft with shift type 3", 7001, InvalidParam
Check "ShiftIntLeft result after the error", IsEmpty(r), True

On Error Resume Next : r = zb.ShiftLongRight(1, 1, -1) : Grab : On Error GoTo 0
ExpectError "ShiftLongRight with shift type -1", 7001, InvalidParam

On Error Resume Next : r = zb.ConstrainInt(5, 10, 1) : Grab : On Error GoTo 0
ExpectError "ConstrainInt with reversed bounds", 7001, InvalidParam

Dim x
x = CInt(0)
On Error Resume Next : zb.SetBits x, 0, 16 : Grab : On Error GoTo 0
ExpectError "SetBits past an integer", 7001, InvalidParam
Check "SetBits left the variable alone", x, 0

Dim list
list = Array(1, 2, 3)
On Error Resume Next : zb.SetBits list, 0, 1 : Grab : On Error GoTo 0
ExpectError "SetBits on a script array of variants", 7001, InvalidParam

Dim s
s = "text"
On Error Resume Next : r = zb.GetBits(s, 0, 1) : Grab : On Error GoTo 0
ExpectError "GetBits on a string", 7001, InvalidParam

On Error Resume Next : r = zb.Max(CInt(5), CLng(5)) : Grab : On Error GoTo 0
ExpectError "Max of an integer and a long", 7001, InvalidParam

On Error Resume Next : r = zb.Max("a", "b") : Grab : On Error GoTo 0
ExpectError "Max of two strings", 7001, InvalidParam

r = Empty
On Error Resume Next : r = zb.PeekByte(0) : Grab : On Error GoTo 0
ExpectError "PeekByte at 0", 7002, "No read access to memory address."
Check "PeekByte result after the error", IsEmpty(r), True

On Error Resume Next : zb.PokeDword 0, 1 : Grab : On Error GoTo 0
ExpectError "PokeDword at 0", 7003, "No write access to memory address."

On Error Resume Next : r = zb.AllocMemory(-1) : Grab : On Error GoTo 0
ExpectError "AllocMemory of -1", 7004, "Out of memory."

On Error Resume Next : zb.WriteByteToPort &H378, 1 : Grab : On Error GoTo 0
ExpectError "WriteByteToPort", 7000, "Function not supported under Windows NT."

On Error Resume Next : r = zb.ReadDwordFromPort(&H378) : Grab : On Error GoTo 0
ExpectError "ReadDwordFromPort", 7000, "Function not supported under Windows NT."

' A good call after the errors works and raises nothing.
On Error Resume Next : r = zb.AddUnsignedInt(1, 2) : Grab : On Error GoTo 0
Check "call after errors: Err.Number", gNum, 0
Check "call after errors: result", r, 3
Check "Version after errors", zb.Version, "0.00.001: Halden Utility 1.0 Library."

Set zb = Nothing
Summary
