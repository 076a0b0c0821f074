' The start of every ZANBIT32 test script: the build writes it in front of
' each zb_<name>.vbs of this folder into one script of the build tree, which
' the tests run (the script hosts of Wine read neither .wsf jobs nor code
' handed to ExecuteGlobal). Holds the checks' counters, the host check and
' the closing summary.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

' A check that holds.
Sub Pass()
    passed = passed + 1
End Sub

' A check that does not: one line with what was seen.
Sub Fail(message)
    failed = failed + 1
    WScript.Echo "FAIL: " & message
End Sub

' The closing line; the test run reads the counts from it.
Sub Summary()
    WScript.Echo "ZBTEST SUMMARY: " & passed & " passed, " & failed & " failed"
End Sub

' The script host must be the one of the build's word size, named by the
' first argument ("AMD64" or "x86"); its process environment says which it
' is. A host of the other word size sees the other registry view and finds
' no class: stop here with that reason rather than at the first object.
Dim expectedHost, actualHost
If WScript.Arguments.Count <> 1 Then
    WScript.Echo "FAIL: usage: cscript //nologo " & WScript.ScriptName & " AMD64|x86 (the word size of the expected script host)"
    WScript.Quit 2
End If
expectedHost = WScript.Arguments.Item(0)
actualHost = CreateObject("WScript.Shell").Environment("Process").Item("PROCESSOR_ARCHITECTURE")
WScript.Echo "ZBTEST HOST: " & actualHost
If actualHost <> expectedHost Then
    WScript.Echo "FAIL: the script host runs as " & actualHost & ", expected " & expectedHost & " (a Wine loader of the other word size?)"
    WScript.Quit 1
End If
Pass
