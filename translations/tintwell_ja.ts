<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>BmpEncoder</name>
    <message>
        <source>The picture is empty.</source>
        <translation>画像が空です。</translation>
    </message>
    <message>
        <source>The picture is too large for a BMP file.</source>
        <translation>画像が大きすぎて BMP ファイルにできません。</translation>
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
        <translation>画像を %1 に保存できませんでした: %2</translation>
    </message>
</context>
<context>
    <name>Preview</name>
    <message>
        <source>Right-click: show this colour&apos;s values and copy its RRGGBB code
Double-click: view the sheet at full size</source>
        <translation>右クリック: この色の値を表示し、RRGGBB コードをコピーします
ダブルクリック: シートを原寸で表示します</translation>
    </message>
</context>
<context>
    <name>SafeSave</name>
    <message>
        <source>It is a folder.</source>
        <translation>フォルダーです。</translation>
    </message>
    <message>
        <source>It is not a regular file.</source>
        <translation>通常のファイルではありません。</translation>
    </message>
</context>
<context>
    <name>SheetView</name>
    <message>
        <source>RRGGBB</source>
        <translation>RRGGBB 形式</translation>
    </message>
    <message>
        <source>Find colour:</source>
        <translation>色を検索:</translation>
    </message>
    <message>
        <source>Tintwell — %1</source>
        <translation>Tintwell — %1 シート</translation>
    </message>
    <message>
        <source>Tintwell — view</source>
        <translation>Tintwell — 原寸表示</translation>
    </message>
    <message>
        <source>tile (%1, %2)</source>
        <translation>タイル (%1, %2)</translation>
    </message>
    <message>
        <source>Type a colour as RRGGBB or #RRGGBB.</source>
        <translation>色を RRGGBB または #RRGGBB の形で入力してください。</translation>
    </message>
    <message>
        <source>No sheet is drawn yet: start a run first.</source>
        <translation>シートはまだ描かれていません。先に描画を開始してください。</translation>
    </message>
    <message>
        <source>The %1 sheet does not hold %2; the nearest colour it holds is %3 (Enter goes there).</source>
        <translation>%1 のシートに %2 はありません。シートにある最も近い色は %3 です (Enter でそこへ移動します)。</translation>
    </message>
    <message>
        <source>Go to %1</source>
        <translation>%1 へ移動</translation>
    </message>
    <message>
        <source>%1 of %2: %3, %4 (F3 and Shift+F3 step through them)</source>
        <translation>%2 か所中 %1 か所目: %3, %4 (F3 と Shift+F3 で順に移動します)</translation>
    </message>
</context>
<context>
    <name>mainform</name>
    <message>
        <source>There is not enough memory for a picture of %1 × %2 pixels.</source>
        <translation>%1 × %2 ピクセルの画像に必要なメモリが足りません。</translation>
    </message>
    <message>
        <source>16M色のファイルサイズは48Mbyteになります。</source>
        <translation>16M色のファイルサイズは48Mbyteになります。</translation>
    </message>
    <message>
        <source>BMP picture (*.bmp)</source>
        <translation>BMP 画像 (*.bmp)</translation>
    </message>
    <message>
        <source>PNG picture (*.png)</source>
        <translation>PNG 画像 (*.png)</translation>
    </message>
    <message>
        <source>The web page could not be opened: no program for web addresses answered.

Its address is on the clipboard:
%1</source>
        <translation>Web ページを開けませんでした。Web アドレスを開くプログラムが応答しません。

アドレスはクリップボードにあります:
%1</translation>
    </message>
</context>
</TS>
