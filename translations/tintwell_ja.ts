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
    <name>Capture</name>
    <message>
        <source>The picture is empty.</source>
        <translation>画像が空です。</translation>
    </message>
    <message>
        <source>There is not enough memory to show it.</source>
        <translation>表示に必要なメモリが足りません。</translation>
    </message>
    <message>
        <source>No sheet found in %1: every sheet is larger than the picture.</source>
        <translation>%1 にシートは見つかりませんでした。どのシートも画像より大きいためです。</translation>
    </message>
    <message>
        <source>No sheet found in %1: closest %2 at offset %3 %4 scale %5, mean channel difference %6.</source>
        <translation>%1 にシートは見つかりませんでした。最も近いのはオフセット %3 %4、倍率 %5 の %2 シートで、チャンネル差の平均は %6 です。</translation>
    </message>
    <message>
        <source>There is not enough memory to diagnose the capture.</source>
        <translation>キャプチャの診断に必要なメモリが足りません。</translation>
    </message>
    <message>
        <source>The recording holds no frame.</source>
        <translation>この録画にはフレームがありません。</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>取り消しました。</translation>
    </message>
    <message>
        <source>%1 has no frame %2.</source>
        <translation>%1 にフレーム %2 はありません。</translation>
    </message>
    <message>
        <source>Frame %1 of %2 does not hold the sheet where it was found.</source>
        <translation>%2 のフレーム %1 には、見つかった位置にシートがありません。</translation>
    </message>
    <message>
        <source>The sheet found has no mode of its own.</source>
        <translation>見つかったシートに対応するモードがありません。</translation>
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
    <name>ResultsDock</name>
    <message>
        <source>Results</source>
        <translation>結果</translation>
    </message>
    <message>
        <source>Diagnosis:</source>
        <translation>診断:</translation>
    </message>
    <message>
        <source>Open a capture (Ctrl+O) to see how far it is from its sheet.</source>
        <translation>Ctrl+O でキャプチャを開くと、シートとどれだけ違うかを確認できます。</translation>
    </message>
    <message>
        <source>Right: the capture is the sheet, pixel for pixel.</source>
        <translation>正常: キャプチャはピクセル単位でシートと一致しています。</translation>
    </message>
    <message>
        <source>Right: no step stands between the sheet and the capture; what differs is noise.</source>
        <translation>正常: シートとキャプチャの間に変換の段階は見つかりません。違いはノイズです。</translation>
    </message>
    <message>
        <source>mean dE2000 %1</source>
        <translation>平均 dE2000 %1</translation>
    </message>
    <message>
        <source>Fault named: the sheet went through these steps on its way into the capture.</source>
        <translation>原因を特定: シートはキャプチャになるまでに次の段階を経ています。</translation>
    </message>
    <message>
        <source>mean dE2000 %1 → %2 after the steps</source>
        <translation>平均 dE2000 %1 → 段階を考慮すると %2</translation>
    </message>
    <message>
        <source>Unexplained: no known step brings the sheet near the capture.</source>
        <translation>原因不明: 既知のどの段階でもシートはキャプチャに近づきません。</translation>
    </message>
    <message>
        <source>Unexplained: even the steps found leave the capture far from the sheet.</source>
        <translation>原因不明: 見つかった段階を考慮しても、キャプチャはシートから大きく離れています。</translation>
    </message>
    <message>
        <source>Worst frame: %1</source>
        <translation>最悪のフレーム: %1</translation>
    </message>
    <message>
        <source>Frame %1 (%2 of %3 measured): mean dE2000 %4</source>
        <translation>フレーム %1 (測定した %3 フレーム中 %2 番目): 平均 dE2000 %4</translation>
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
    <message>
        <source>The grid shows from %1.</source>
        <translation>グリッドは %1 以上で表示されます。</translation>
    </message>
    <message>
        <source>Grid on.</source>
        <translation>グリッドを表示しました。</translation>
    </message>
    <message>
        <source>Grid off.</source>
        <translation>グリッドを非表示にしました。</translation>
    </message>
    <message>
        <source>sheet</source>
        <translation>シート</translation>
    </message>
    <message>
        <source>capture</source>
        <translation>キャプチャ</translation>
    </message>
    <message>
        <source>difference</source>
        <translation>差分</translation>
    </message>
    <message>
        <source>Tintwell — %1 — %2 — %3</source>
        <translation>Tintwell — %1 — %2 シート — %3</translation>
    </message>
    <message>
        <source>Tintwell — %1 — no sheet</source>
        <translation>Tintwell — %1 — シートなし</translation>
    </message>
    <message>
        <source>%1, %2    capture %3</source>
        <translation>%1, %2    キャプチャ %3</translation>
    </message>
    <message>
        <source>%1, %2    %3    sheet %4    capture %5    dE2000 %6</source>
        <translation>%1, %2    %3    シート %4    キャプチャ %5    dE2000 %6</translation>
    </message>
    <message>
        <source>Picked %1</source>
        <translation>%1 を取得しました</translation>
    </message>
    <message>
        <source>No sheet was found in this picture.</source>
        <translation>この画像にシートは見つかりませんでした。</translation>
    </message>
    <message>
        <source>Tintwell</source>
        <translation>Tintwell — エラー</translation>
    </message>
    <message>
        <source>Could not open %1: %2</source>
        <translation>%1 を開けませんでした: %2</translation>
    </message>
    <message>
        <source>Taking the census of %1…</source>
        <translation>%1 を集計しています…</translation>
    </message>
    <message>
        <source>Open a capture</source>
        <translation>キャプチャを開く</translation>
    </message>
    <message>
        <source>Pictures (%1)</source>
        <translation>画像 (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Open a capture (Ctrl+O) to compare it with its sheet.</source>
        <translation>Ctrl+O でキャプチャを開くと、シートと比較できます。</translation>
    </message>
    <message>
        <source>The tone curves need a capture holding a sheet (Ctrl+O).</source>
        <translation>トーンカーブを表示するには、シートを含むキャプチャが必要です (Ctrl+O)。</translation>
    </message>
    <message>
        <source>Recordings (%1)</source>
        <translation>録画 (%1)</translation>
    </message>
    <message>
        <source>the sheet</source>
        <translation>シート</translation>
    </message>
    <message>
        <source>the capture</source>
        <translation>キャプチャ</translation>
    </message>
    <message>
        <source>their difference in grey</source>
        <translation>両者の差分 (グレー)</translation>
    </message>
    <message>
        <source>fixed</source>
        <translation>補正後</translation>
    </message>
    <message>
        <source>the capture through the fix the diagnosis found</source>
        <translation>診断で見つかった補正を適用したキャプチャ</translation>
    </message>
    <message>
        <source>%1, frame %2</source>
        <translation>%1、フレーム %2</translation>
    </message>
    <message>
        <source>    fixed %1</source>
        <translation>    補正後 %1</translation>
    </message>
    <message>
        <source>No sheet found (F9: the results say more).</source>
        <translation>シートが見つかりません (F9: 結果に詳細があります)。</translation>
    </message>
    <message>
        <source>Opening frame %1…</source>
        <translation>フレーム %1 を開いています…</translation>
    </message>
    <message>
        <source>Frame %1 could not be opened.</source>
        <translation>フレーム %1 を開けませんでした。</translation>
    </message>
    <message>
        <source>difference: 1 grey level = %1</source>
        <translation>差分: グレー 1 階調 = %1</translation>
    </message>
    <message>
        <source>fixed: no fix (the diagnosis failed)</source>
        <translation>補正後: 補正はありません (診断に失敗しました)</translation>
    </message>
    <message>
        <source>fixed: nothing to undo</source>
        <translation>補正後: 元に戻す段階はありません</translation>
    </message>
    <message>
        <source>&lt;b&gt;Keys of the view&lt;/b&gt;&lt;table cellspacing=4&gt;&lt;tr&gt;&lt;td&gt;Ctrl+O, or drop a file&lt;/td&gt;&lt;td&gt;open a capture&lt;/td&gt;&lt;/tr&gt;%1&lt;tr&gt;&lt;td&gt;Space&lt;/td&gt;&lt;td&gt;the capture and the fixed capture (or the sheet, after 1) in turn&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F9&lt;/td&gt;&lt;td&gt;show or hide the results&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;T&lt;/td&gt;&lt;td&gt;the tone curves as plots&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;P&lt;/td&gt;&lt;td&gt;a recording as each player shows it&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl++ / Ctrl+-, wheel&lt;/td&gt;&lt;td&gt;zoom in / out&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+1 / Ctrl+0&lt;/td&gt;&lt;td&gt;100 % / fit&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;drag, arrows, Page Up/Down&lt;/td&gt;&lt;td&gt;move&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Shift+arrows, Enter&lt;/td&gt;&lt;td&gt;move the pick cursor, pick&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;right click&lt;/td&gt;&lt;td&gt;pick the colour shown&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+F, F3 / Shift+F3&lt;/td&gt;&lt;td&gt;find a colour, next / previous place&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;G&lt;/td&gt;&lt;td&gt;grid on or off (from 800 %)&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F11&lt;/td&gt;&lt;td&gt;full screen&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F1, ?&lt;/td&gt;&lt;td&gt;these keys&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Esc, Ctrl+W&lt;/td&gt;&lt;td&gt;close the bar, full screen, the view&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;p&gt;In the main window a double click on the preview, Ctrl+1 or Ctrl+0 show its canvas here again.&lt;/p&gt;</source>
        <translation>&lt;b&gt;原寸表示のキー操作&lt;/b&gt;&lt;table cellspacing=4&gt;&lt;tr&gt;&lt;td&gt;Ctrl+O、またはファイルをドロップ&lt;/td&gt;&lt;td&gt;キャプチャを開く&lt;/td&gt;&lt;/tr&gt;%1&lt;tr&gt;&lt;td&gt;Space&lt;/td&gt;&lt;td&gt;キャプチャと補正後のキャプチャ (1 の後はシート) を交互に表示&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F9&lt;/td&gt;&lt;td&gt;結果の表示 / 非表示&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;T&lt;/td&gt;&lt;td&gt;トーンカーブをグラフで表示&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;P&lt;/td&gt;&lt;td&gt;録画を各プレーヤーの表示方法で表示&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl++ / Ctrl+-、ホイール&lt;/td&gt;&lt;td&gt;拡大 / 縮小&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+1 / Ctrl+0&lt;/td&gt;&lt;td&gt;100 % / ウィンドウに合わせる&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;ドラッグ、矢印キー、Page Up/Down&lt;/td&gt;&lt;td&gt;表示位置の移動&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Shift+矢印キー、Enter&lt;/td&gt;&lt;td&gt;取得カーソルの移動、色の取得&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;右クリック&lt;/td&gt;&lt;td&gt;表示中の色を取得&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Ctrl+F、F3 / Shift+F3&lt;/td&gt;&lt;td&gt;色を検索、次 / 前の箇所へ移動&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;G&lt;/td&gt;&lt;td&gt;グリッドのオン / オフ (800 % 以上)&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F11&lt;/td&gt;&lt;td&gt;全画面表示&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;F1、?&lt;/td&gt;&lt;td&gt;このキー一覧&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Esc、Ctrl+W&lt;/td&gt;&lt;td&gt;バー / 全画面表示 / 原寸表示を閉じる&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;p&gt;メインウィンドウでプレビューをダブルクリックするか、Ctrl+1 または Ctrl+0 を押すと、そのキャンバスがここにもう一度表示されます。&lt;/p&gt;</translation>
    </message>
    <message>
        <source>fixed: the fix is still being worked out</source>
        <translation>補正後: 補正を計算中です</translation>
    </message>
    <message>
        <source>fixed: through the --fix table</source>
        <translation>補正後: --fix の表を適用</translation>
    </message>
    <message>
        <source>P shows a recording as each player shows it; open a recording first.</source>
        <translation>P キーは録画を各プレーヤーの表示方法で表示します。先に録画を開いてください。</translation>
    </message>
    <message>
        <source>Shown as its tags say: %1</source>
        <translation>タグのとおりに表示: %1</translation>
    </message>
    <message>
        <source>Shown as %1 shows it: %2</source>
        <translation>%1 の表示方法で表示: %2</translation>
    </message>
</context>
<context>
    <name>ToneCurvePlot</name>
    <message>
        <source>Red</source>
        <translation>赤</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>緑</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>青</translation>
    </message>
    <message>
        <source>sheet level</source>
        <translation>シートの階調</translation>
    </message>
    <message>
        <source>captured level</source>
        <translation>キャプチャの階調</translation>
    </message>
    <message>
        <source>Tintwell — %1 — tone curves</source>
        <translation>Tintwell — %1 — トーンカーブ</translation>
    </message>
    <message>
        <source>identity</source>
        <translation>恒等線</translation>
    </message>
    <message>
        <source>fitted</source>
        <translation>近似曲線</translation>
    </message>
    <message>
        <source>level</source>
        <translation>階調</translation>
    </message>
    <message>
        <source>%1 mean</source>
        <translation>%1 平均値</translation>
    </message>
    <message>
        <source>%1 fitted</source>
        <translation>%1 近似値</translation>
    </message>
    <message>
        <source>&amp;Save as PNG or SVG…</source>
        <translation>PNG または SVG で保存(&amp;S)…</translation>
    </message>
    <message>
        <source>&amp;Copy values</source>
        <translation>値をコピー(&amp;C)</translation>
    </message>
    <message>
        <source>Save the plot</source>
        <translation>グラフを保存</translation>
    </message>
    <message>
        <source>PNG picture (*.png)</source>
        <translation>PNG 画像 (*.png)</translation>
    </message>
    <message>
        <source>SVG drawing (*.svg)</source>
        <translation>SVG ベクター画像 (*.svg)</translation>
    </message>
    <message>
        <source>tone-curve-%1.png</source>
        <translation>トーンカーブ-%1.png</translation>
    </message>
    <message>
        <source>Tintwell</source>
        <translation>Tintwell — エラー</translation>
    </message>
    <message>
        <source>The plot could not be turned into a PNG picture.</source>
        <translation>グラフを PNG 画像に変換できませんでした。</translation>
    </message>
    <message>
        <source>Could not save %1: %2</source>
        <translation>%1 を保存できませんでした: %2</translation>
    </message>
    <message>
        <source>mean inside the tiles (%1 samples a level)</source>
        <translation>タイル内部の平均 (1 階調あたり %1 サンプル)</translation>
    </message>
    <message>
        <source>held only at tile edges: no samples</source>
        <translation>タイルの端にしかない階調: サンプルなし</translation>
    </message>
    <message>
        <source>level %1: mean %2 of %3 samples inside the tiles</source>
        <translation>階調 %1: タイル内部の %3 サンプルの平均 %2</translation>
    </message>
    <message>
        <source>fitted: %1</source>
        <translation>近似値: %1</translation>
    </message>
    <message>
        <source>%1 samples</source>
        <translation>%1 サンプル数</translation>
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
