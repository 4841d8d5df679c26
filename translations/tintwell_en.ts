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
    <name>Capture</name>
    <message>
        <source>The picture is empty.</source>
        <translation>The picture is empty.</translation>
    </message>
    <message>
        <source>There is not enough memory to show it.</source>
        <translation>There is not enough memory to show it.</translation>
    </message>
    <message>
        <source>No sheet found in %1: every sheet is larger than the picture.</source>
        <translation>No sheet found in %1: every sheet is larger than the picture.</translation>
    </message>
    <message>
        <source>No sheet found in %1: closest %2 at offset %3 %4 scale %5, mean channel difference %6.</source>
        <translation>No sheet found in %1: closest %2 at offset %3 %4 scale %5, mean channel difference %6.</translation>
    </message>
    <message>
        <source>There is not enough memory to diagnose the capture.</source>
        <translation>There is not enough memory to diagnose the capture.</translation>
    </message>
    <message>
        <source>The recording holds no frame.</source>
        <translation>The recording holds no frame.</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>%1 has no frame %2.</source>
        <translation>%1 has no frame %2.</translation>
    </message>
    <message>
        <source>Frame %1 of %2 does not hold the sheet where it was found.</source>
        <translation>Frame %1 of %2 does not hold the sheet where it was found.</translation>
    </message>
    <message>
        <source>The sheet found has no mode of its own.</source>
        <translation>The sheet found has no mode of its own.</translation>
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
    <name>ResultsDock</name>
    <message>
        <source>Results</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>Diagnosis:</source>
        <translation>Diagnosis:</translation>
    </message>
    <message>
        <source>Open a capture (Ctrl+O) to see how far it is from its sheet.</source>
        <translation>Open a capture (Ctrl+O) to see how far it is from its sheet.</translation>
    </message>
    <message>
        <source>Right: the capture is the sheet, pixel for pixel.</source>
        <translation>Right: the capture is the sheet, pixel for pixel.</translation>
    </message>
    <message>
        <source>Right: no step stands between the sheet and the capture; what differs is noise.</source>
        <translation>Right: no step stands between the sheet and the capture; what differs is noise.</translation>
    </message>
    <message>
        <source>mean dE2000 %1</source>
        <translation>mean dE2000 %1</translation>
    </message>
    <message>
        <source>Fault named: the sheet went through these steps on its way into the capture.</source>
        <translation>Fault named: the sheet went through these steps on its way into the capture.</translation>
    </message>
    <message>
        <source>mean dE2000 %1 → %2 after the steps</source>
        <translation>mean dE2000 %1 → %2 after the steps</translation>
    </message>
    <message>
        <source>Unexplained: no known step brings the sheet near the capture.</source>
        <translation>Unexplained: no known step brings the sheet near the capture.</translation>
    </message>
    <message>
        <source>Unexplained: even the steps found leave the capture far from the sheet.</source>
        <translation>Unexplained: even the steps found leave the capture far from the sheet.</translation>
    </message>
    <message>
        <source>Worst frame: %1</source>
        <translation>Worst frame: %1</translation>
    </message>
    <message>
        <source>Frame %1 (%2 of %3 measured): mean dE2000 %4</source>
        <translation>Frame %1 (%2 of %3 measured): mean dE2000 %4</translation>
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
    <message>
        <source>The grid shows from %1.</source>
        <translation>The grid shows from %1.</translation>
    </message>
    <message>
        <source>Grid on.</source>
        <translation>Grid on.</translation>
    </message>
    <message>
        <source>Grid off.</source>
        <translation>Grid off.</translation>
    </message>
    <message>
        <source>sheet</source>
        <translation>sheet</translation>
    </message>
    <message>
        <source>capture</source>
        <translation>capture</translation>
    </message>
    <message>
        <source>difference</source>
        <translation>difference</translation>
    </message>
    <message>
        <source>Tintwell — %1 — %2 — %3</source>
        <translation>Tintwell — %1 — %2 — %3</translation>
    </message>
    <message>
        <source>Tintwell — %1 — no sheet</source>
        <translation>Tintwell — %1 — no sheet</translation>
    </message>
    <message>
        <source>%1, %2    capture %3</source>
        <translation>%1, %2    capture %3</translation>
    </message>
    <message>
        <source>%1, %2    %3    sheet %4    capture %5    dE2000 %6</source>
        <translation>%1, %2    %3    sheet %4    capture %5    dE2000 %6</translation>
    </message>
    <message>
        <source>Picked %1</source>
        <translation>Picked %1</translation>
    </message>
    <message>
        <source>No sheet was found in this picture.</source>
        <translation>No sheet was found in this picture.</translation>
    </message>
    <message>
        <source>Tintwell</source>
        <translation>Tintwell</translation>
    </message>
    <message>
        <source>Could not open %1: %2</source>
        <translation>Could not open %1: %2</translation>
    </message>
    <message>
        <source>Taking the census of %1…</source>
        <translation>Taking the census of %1…</translation>
    </message>
    <message>
        <source>Open a capture</source>
        <translation>Open a capture</translation>
    </message>
    <message>
        <source>Pictures (%1)</source>
        <translation>Pictures (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Open a capture (Ctrl+O) to compare it with its sheet.</source>
        <translation>Open a capture (Ctrl+O) to compare it with its sheet.</translation>
    </message>
    <message>
        <source>The tone curves need a capture holding a sheet (Ctrl+O).</source>
        <translation>The tone curves need a capture holding a sheet (Ctrl+O).</translation>
    </message>
    <message>
        <source>Recordings (%1)</source>
        <translation>Recordings (%1)</translation>
    </message>
    <message>
        <source>the sheet</source>
        <translation>the sheet</translation>
    </message>
    <message>
        <source>the capture</source>
        <translation>the capture</translation>
    </message>
    <message>
        <source>their difference in grey</source>
        <translation>their difference in grey</translation>
    </message>
    <message>
        <source>fixed</source>
        <translation>fixed</translation>
    </message>
    <message>
        <source>the capture through the fix the diagnosis found</source>
        <translation>the capture through the fix the diagnosis found</translation>
    </message>
    <message>
        <source>%1, frame %2</source>
        <translation>%1, frame %2</translation>
    </message>
    <message>
        <source>    fixed %1</source>
        <translation>    fixed %1</translation>
    </message>
    <message>
        <source>No sheet found (F9: the results say more).</source>
        <translation>No sheet found (F9: the results say more).</translation>
    </message>
    <message>
        <source>Opening frame %1…</source>
        <translation>Opening frame %1…</translation>
    </message>
    <message>
        <source>Frame %1 could not be opened.</source>
        <translation>Frame %1 could not be opened.</translation>
    </message>
    <message>
        <source>difference: 1 grey level = %1</source>
        <translation>difference: 1 grey level = %1</translation>
    </message>
    <message>
        <source>fixed: no fix (the diagnosis failed)</source>
        <translation>fixed: no fix (the diagnosis failed)</translation>
    </message>
    <message>
        <source>fixed: nothing to undo</source>
        <translation>fixed: nothing to undo</translation>
    </message>
    <message>
        <source>&lt;b&gt;Keys of the view&lt;/b&gt;&lt;table cellspacing=4&gt;&lt;tr&gt;&lt;td&gt;Ctrl+O, or drop a file&lt;/td&gt;&lt;td&gt;open a capture&lt;/td&gt;&lt;/tr&gt;%1&lt;tr&gt;&lt;td&gt;Space&lt;/td&gt;&lt;td&gt;the capture and the fixed capture (or the sheet, after 1) in turn&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F9&lt;/td&gt;&lt;td&gt;show or hide the results&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;T&lt;/td&gt;&lt;td&gt;the tone curves as plots&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;P&lt;/td&gt;&lt;td&gt;a recording as each player shows it&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl++ / Ctrl+-, wheel&lt;/td&gt;&lt;td&gt;zoom in / out&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+1 / Ctrl+0&lt;/td&gt;&lt;td&gt;100 % / fit&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;drag, arrows, Page Up/Down&lt;/td&gt;&lt;td&gt;move&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Shift+arrows, Enter&lt;/td&gt;&lt;td&gt;move the pick cursor, pick&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;right click&lt;/td&gt;&lt;td&gt;pick the colour shown&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+F, F3 / Shift+F3&lt;/td&gt;&lt;td&gt;find a colour, next / previous place&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;G&lt;/td&gt;&lt;td&gt;grid on or off (from 800 %)&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F11&lt;/td&gt;&lt;td&gt;full screen&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F1, ?&lt;/td&gt;&lt;td&gt;these keys&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Esc, Ctrl+W&lt;/td&gt;&lt;td&gt;close the bar, full screen, the view&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;p&gt;In the main window a double click on the preview, Ctrl+1 or Ctrl+0 show its canvas here again.&lt;/p&gt;</source>
        <translation>&lt;b&gt;Keys of the view&lt;/b&gt;&lt;table cellspacing=4&gt;&lt;tr&gt;&lt;td&gt;Ctrl+O, or drop a file&lt;/td&gt;&lt;td&gt;open a capture&lt;/td&gt;&lt;/tr&gt;%1&lt;tr&gt;&lt;td&gt;Space&lt;/td&gt;&lt;td&gt;the capture and the fixed capture (or the sheet, after 1) in turn&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F9&lt;/td&gt;&lt;td&gt;show or hide the results&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;T&lt;/td&gt;&lt;td&gt;the tone curves as plots&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;P&lt;/td&gt;&lt;td&gt;a recording as each player shows it&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl++ / Ctrl+-, wheel&lt;/td&gt;&lt;td&gt;zoom in / out&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+1 / Ctrl+0&lt;/td&gt;&lt;td&gt;100 % / fit&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;drag, arrows, Page Up/Down&lt;/td&gt;&lt;td&gt;move&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Shift+arrows, Enter&lt;/td&gt;&lt;td&gt;move the pick cursor, pick&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;right click&lt;/td&gt;&lt;td&gt;pick the colour shown&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+F, F3 / Shift+F3&lt;/td&gt;&lt;td&gt;find a colour, next / previous place&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;G&lt;/td&gt;&lt;td&gt;grid on or off (from 800 %)&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F11&lt;/td&gt;&lt;td&gt;full screen&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F1, ?&lt;/td&gt;&lt;td&gt;these keys&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Esc, Ctrl+W&lt;/td&gt;&lt;td&gt;close the bar, full screen, the view&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;p&gt;In the main window a double click on the preview, Ctrl+1 or Ctrl+0 show its canvas here again.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>fixed: the fix is still being worked out</source>
        <translation>fixed: the fix is still being worked out</translation>
    </message>
    <message>
        <source>fixed: through the --fix table</source>
        <translation>fixed: through the --fix table</translation>
    </message>
    <message>
        <source>P shows a recording as each player shows it; open a recording first.</source>
        <translation>P shows a recording as each player shows it; open a recording first.</translation>
    </message>
    <message>
        <source>Shown as its tags say: %1</source>
        <translation>Shown as its tags say: %1</translation>
    </message>
    <message>
        <source>Shown as %1 shows it: %2</source>
        <translation>Shown as %1 shows it: %2</translation>
    </message>
</context>
<context>
    <name>ToneCurvePlot</name>
    <message>
        <source>Red</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>sheet level</source>
        <translation>sheet level</translation>
    </message>
    <message>
        <source>captured level</source>
        <translation>captured level</translation>
    </message>
    <message>
        <source>Tintwell — %1 — tone curves</source>
        <translation>Tintwell — %1 — tone curves</translation>
    </message>
    <message>
        <source>identity</source>
        <translation>identity</translation>
    </message>
    <message>
        <source>fitted</source>
        <translation>fitted</translation>
    </message>
    <message>
        <source>level</source>
        <translation>level</translation>
    </message>
    <message>
        <source>%1 mean</source>
        <translation>%1 mean</translation>
    </message>
    <message>
        <source>%1 fitted</source>
        <translation>%1 fitted</translation>
    </message>
    <message>
        <source>&amp;Save as PNG or SVG…</source>
        <translation>&amp;Save as PNG or SVG…</translation>
    </message>
    <message>
        <source>&amp;Copy values</source>
        <translation>&amp;Copy values</translation>
    </message>
    <message>
        <source>Save the plot</source>
        <translation>Save the plot</translation>
    </message>
    <message>
        <source>PNG picture (*.png)</source>
        <translation>PNG picture (*.png)</translation>
    </message>
    <message>
        <source>SVG drawing (*.svg)</source>
        <translation>SVG drawing (*.svg)</translation>
    </message>
    <message>
        <source>tone-curve-%1.png</source>
        <translation>tone-curve-%1.png</translation>
    </message>
    <message>
        <source>Tintwell</source>
        <translation>Tintwell</translation>
    </message>
    <message>
        <source>The plot could not be turned into a PNG picture.</source>
        <translation>The plot could not be turned into a PNG picture.</translation>
    </message>
    <message>
        <source>Could not save %1: %2</source>
        <translation>Could not save %1: %2</translation>
    </message>
    <message>
        <source>mean inside the tiles (%1 samples a level)</source>
        <translation>mean inside the tiles (%1 samples a level)</translation>
    </message>
    <message>
        <source>held only at tile edges: no samples</source>
        <translation>held only at tile edges: no samples</translation>
    </message>
    <message>
        <source>level %1: mean %2 of %3 samples inside the tiles</source>
        <translation>level %1: mean %2 of %3 samples inside the tiles</translation>
    </message>
    <message>
        <source>fitted: %1</source>
        <translation>fitted: %1</translation>
    </message>
    <message>
        <source>%1 samples</source>
        <translation>%1 samples</translation>
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
