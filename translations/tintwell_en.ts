<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>BmpEncoder</name>
    <message>
        <source>The picture is empty.</source>
        <translation>The picture is empty.</translation>
    </message>
    <message>
        <source>The picture is too large for a BMP file.</source>
        <translation>The picture is too large for a BMP file.</translation>
    </message>
</context>
<context>
    <name>FormDesign</name>
    <message>
        <source>Tintwell</source>
        <translation>Tintwell</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>time</source>
        <translation>time</translation>
    </message>
    <message>
        <source>Save Picture</source>
        <translation>Save Picture</translation>
    </message>
    <message>
        <source>mSec</source>
        <translation>mSec</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>STOP</translation>
    </message>
    <message>
        <source>Version Up</source>
        <translation>Version Up</translation>
    </message>
    <message>
        <source>RGB</source>
        <translation>RGB</translation>
    </message>
    <message>
        <source>RightClick to Copy RGBcode</source>
        <translation>RightClick to Copy RGBcode</translation>
    </message>
</context>
<context>
    <name>PictureFile</name>
    <message>
        <source>Could not save the picture to %1: %2</source>
        <translation>Could not save the picture to %1: %2</translation>
    </message>
</context>
<context>
    <name>Preview</name>
    <message>
        <source>Right-click: show this colour&apos;s values and copy its RRGGBB code
Double-click: view the sheet at full size</source>
        <translation>Right-click: show this colour&apos;s values and copy its RRGGBB code
Double-click: view the sheet at full size</translation>
    </message>
</context>
<context>
    <name>SafeSave</name>
    <message>
        <source>It is a folder.</source>
        <translation>It is a folder.</translation>
    </message>
    <message>
        <source>It is not a regular file.</source>
        <translation>It is not a regular file.</translation>
    </message>
</context>
<context>
    <name>SheetView</name>
    <message>
        <source>RRGGBB</source>
        <translation>RRGGBB</translation>
    </message>
    <message>
        <source>Find colour:</source>
        <translation>Find colour:</translation>
    </message>
    <message>
        <source>Tintwell — %1</source>
        <translation>Tintwell — %1</translation>
    </message>
    <message>
        <source>Tintwell — view</source>
        <translation>Tintwell — view</translation>
    </message>
    <message>
        <source>tile (%1, %2)</source>
        <translation>tile (%1, %2)</translation>
    </message>
    <message>
        <source>Type a colour as RRGGBB or #RRGGBB.</source>
        <translation>Type a colour as RRGGBB or #RRGGBB.</translation>
    </message>
    <message>
        <source>No sheet is drawn yet: start a run first.</source>
        <translation>No sheet is drawn yet: start a run first.</translation>
    </message>
    <message>
        <source>The %1 sheet does not hold %2; the nearest colour it holds is %3 (Enter goes there).</source>
        <translation>The %1 sheet does not hold %2; the nearest colour it holds is %3 (Enter goes there).</translation>
    </message>
    <message>
        <source>Go to %1</source>
        <translation>Go to %1</translation>
    </message>
    <message>
        <source>%1 of %2: %3, %4 (F3 and Shift+F3 step through them)</source>
        <translation>%1 of %2: %3, %4 (F3 and Shift+F3 step through them)</translation>
    </message>
</context>
<context>
    <name>mainform</name>
    <message>
        <source>There is not enough memory for a picture of %1 × %2 pixels.</source>
        <translation>There is not enough memory for a picture of %1 × %2 pixels.</translation>
    </message>
    <message>
        <source>16M色のファイルサイズは48Mbyteになります。</source>
        <translation>The file size for 16M colours will be 48 MB.</translation>
    </message>
    <message>
        <source>BMP picture (*.bmp)</source>
        <translation>BMP picture (*.bmp)</translation>
    </message>
    <message>
        <source>PNG picture (*.png)</source>
        <translation>PNG picture (*.png)</translation>
    </message>
    <message>
        <source>The web page could not be opened: no program for web addresses answered.

Its address is on the clipboard:
%1</source>
        <translation>The web page could not be opened: no program for web addresses answered.

Its address is on the clipboard:
%1</translation>
    </message>
</context>
</TS>
