<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja_JP">
<context>
    <name>FileCommands</name>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>PNGファイル (*.png);;BMPファイル (*.bmp);;PCXファイル (*.pcx);;すべてのファイル (*.*)</source>
        <translation>PNG Files (*.png);;BMP Files (*.bmp);;PCX Files (*.pcx);;All Files (*.*)</translation>
    </message>
    <message>
        <source>画像が読み込まれていません。
パレットは画像読み込み後追加読み込みのみ対応しています。</source>
        <translation>No image is open.
Open an image first, then add palettes.</translation>
    </message>
    <message>
        <source>パレットが読み込めませんでした</source>
        <translation>Could not read the palette.</translation>
    </message>
    <message>
        <source>画像が読み込めませんでした</source>
        <translation>Could not read the image.</translation>
    </message>
    <message>
        <source>画像を拡大できませんでした</source>
        <translation>Could not enlarge the image.</translation>
    </message>
    <message>
        <source>画像を保存できませんでした</source>
        <translation>Could not save the image.</translation>
    </message>
    <message>
        <source>「%1」は開いている元の画像です。
元の画像が拡大結果で置き換えられます。よろしいですか？</source>
        <translation>“%1” is the original image that is open.
It will be replaced by the enlarged result. Continue?</translation>
    </message>
    <message>
        <source>名前をつけて保存</source>
        <translation>Save As</translation>
    </message>
</context>
<context>
    <name>UserDialogs</name>
    <message>
        <source>変更を保存しますか？</source>
        <translation>Save your changes?</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>保存しない</source>
        <translation>Don't Save</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>はい</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>いいえ</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>gridmint::CAboutDlg</name>
    <message>
        <source>バージョン情報</source>
        <translation>About Gridmint</translation>
    </message>
    <message>
        <source>Gridmint バージョン %1

ドット絵拡大ツール</source>
        <translation>Gridmint version %1

Pixel art enlarger</translation>
    </message>
</context>
<context>
    <name>gridmint::CMainFrame</name>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>開く(&amp;O)...	Ctrl+O</source>
        <translation>&amp;Open…	Ctrl+O</translation>
    </message>
    <message>
        <source>既存のファイルを開く</source>
        <translation>Open an existing image or palette file</translation>
    </message>
    <message>
        <source>上書き保存(&amp;S)	Ctrl+S</source>
        <translation>&amp;Save	Ctrl+S</translation>
    </message>
    <message>
        <source>上書き保存する</source>
        <translation>Save the result</translation>
    </message>
    <message>
        <source>名前をつけて保存(&amp;A)...</source>
        <translation>Save &amp;As…</translation>
    </message>
    <message>
        <source>新たに名前をつけて保存する</source>
        <translation>Save the result under a new name</translation>
    </message>
    <message>
        <source>終了(&amp;x)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>アプリケーション終了; prompts to save documents</source>
        <translation>Quit Gridmint</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>元に戻す(&amp;U)	Ctrl+Z</source>
        <translation>&amp;Undo	Ctrl+Z</translation>
    </message>
    <message>
        <source>直前の動作を元に戻す</source>
        <translation>Undo the last action</translation>
    </message>
    <message>
        <source>設定(&amp;O)</source>
        <translation>&amp;Settings…</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>グリッド表示(&amp;G)</source>
        <translation>&amp;Grid</translation>
    </message>
    <message>
        <source>グリッドを表示/非表示します</source>
        <translation>Show or hide the grid</translation>
    </message>
    <message>
        <source>ステータスバー表示(&amp;S)</source>
        <translation>&amp;Status Bar</translation>
    </message>
    <message>
        <source>ステータスバーを表示/非表示します</source>
        <translation>Show or hide the status bar</translation>
    </message>
    <message>
        <source>パレット表示(&amp;P)</source>
        <translation>&amp;Palette</translation>
    </message>
    <message>
        <source>パレットを表示/非表示します</source>
        <translation>Show or hide the palette pane</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ダウンロードページを開く(&amp;D)</source>
        <translation>Open &amp;Download Page</translation>
    </message>
    <message>
        <source>Gridmint について(&amp;A)</source>
        <translation>&amp;About Gridmint…</translation>
    </message>
    <message>
        <source>情報表示, バージョン番号およびコピーライト</source>
        <translation>Show the version and copyright</translation>
    </message>
    <message>
        <source>パレット</source>
        <translation>Palette</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>レディ</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>同インデックス [ 左 %1, 右 %2, 上 %3, 下 %4 ] 同色 [ 左 %5, 右 %6, 上 %7, 下 %8 ] 近似色 [ 左 %9, 右 %10, 上 %11, 下 %12 ]</source>
        <translation>Same index [ L %1, R %2, U %3, D %4 ] Same colour [ L %5, R %6, U %7, D %8 ] Similar colour [ L %9, R %10, U %11, D %12 ]</translation>
    </message>
    <message>
        <source>やり直し(&amp;R)	Ctrl+Y</source>
        <translation>&amp;Redo	Ctrl+Y</translation>
    </message>
    <message>
        <source>元に戻した動作をやり直す</source>
        <translation>Redo the last undone action</translation>
    </message>
    <message>
        <source>ヘルプファイルが見つかりませんでした。
プログラムと同じフォルダーの help/index.html にあるはずです:
%1</source>
        <translation>The help file was not found.
It belongs in the help folder beside the program:
%1</translation>
    </message>
    <message>
        <source>ヘルプを開くプログラムが見つかりませんでした。
ヘルプはここにあります:
%1</source>
        <translation>No program was found to open the help.
The help is here:
%1</translation>
    </message>
    <message>
        <source>ダウンロードページを開くプログラムが見つかりませんでした。
ページのアドレス:
%1</source>
        <translation>No program was found to open the download page.
The page's address:
%1</translation>
    </message>
    <message>
        <source>この画像では再適用前の状態が元に戻す履歴に入りきりません。
再適用すると手で加えた修正は元に戻せなくなります。続けますか？</source>
        <translation>For this image, the state before reapplying does not fit in the undo history.
After reapplying, your touch-ups cannot be undone. Continue?</translation>
    </message>
    <message>
        <source>再適用</source>
        <translation>Reapply</translation>
    </message>
    <message>
        <source>処理中…</source>
        <translation>Working…</translation>
    </message>
    <message>
        <source>処理中です。終わるまでお待ちください。</source>
        <translation>Busy. Please wait until the work is done.</translation>
    </message>
    <message>
        <source>変更箇所を表示(&amp;C)</source>
        <translation>Show &amp;Changes</translation>
    </message>
    <message>
        <source>エンジンが変えた画素を色で示します (Space キーを押している間は拡大前のブロック表示)</source>
        <translation>Tints the pixels the engine changed (hold Space to see the plain block enlargement)</translation>
    </message>
    <message>
        <source>拡大前のブロック表示です。Space キーを離すと結果に戻ります。</source>
        <translation>Plain block enlargement. Release Space to return to the result.</translation>
    </message>
    <message>
        <source>画像が途中で終わっています（%1 行のうち %2 行がありません）。</source>
        <translation>The image file ends early: %2 of its %1 rows are missing.</translation>
    </message>
</context>
<context>
    <name>gridmint::COptionDlg</name>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>読込み拡大時に自動保存する</source>
        <translation>Save automatically after opening</translation>
    </message>
    <message>
        <source>ACT読み込み時パレットを反転する</source>
        <translation>Reverse palettes read from ACT files</translation>
    </message>
    <message>
        <source>PAL読み込み時パレットを反転する</source>
        <translation>Reverse palettes read from PAL files</translation>
    </message>
    <message>
        <source>画像拡大率</source>
        <translation>Enlargement</translation>
    </message>
    <message>
        <source>透過色インデックス</source>
        <translation>Transparent index</translation>
    </message>
    <message>
        <source>0番</source>
        <translation>Index 0</translation>
    </message>
    <message>
        <source>255番</source>
        <translation>Index 255</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>デフォルト保存先フォルダ</source>
        <translation>Default save folder</translation>
    </message>
    <message>
        <source>参照...</source>
        <translation>Browse…</translation>
    </message>
    <message>
        <source>表示言語</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>日本語</source>
        <translation>Japanese</translation>
    </message>
    <message>
        <source>次回の起動時から有効になります</source>
        <translation>Takes effect at the next start</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>フォルダを選択してください。</source>
        <translation>Choose a Folder</translation>
    </message>
    <message>
        <source>セルモード (スプライトシート・タイルセット)</source>
        <translation>Cell mode (sprite sheets, tilesets)</translation>
    </message>
    <message>
        <source>オフ</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>繰り返しタイルとしてつなげる</source>
        <translation>Join as repeating tiles</translation>
    </message>
    <message>
        <source>セル幅</source>
        <translation>Cell width</translation>
    </message>
    <message>
        <source>セル高さ</source>
        <translation>Cell height</translation>
    </message>
    <message>
        <source>余白</source>
        <translation>Margin</translation>
    </message>
    <message>
        <source>間隔</source>
        <translation>Spacing</translation>
    </message>
</context>
<context>
    <name>gridmint::CPaletteToolView</name>
    <message>
        <source>無題</source>
        <translation>Untitled</translation>
    </message>
    <message>
        <source>このパレットを解放</source>
        <translation>Remove This Palette</translation>
    </message>
    <message>
        <source>このパレットをリストから削除します。ファイルは削除されません。</source>
        <translation>Remove this palette from the list. The file is not deleted.</translation>
    </message>
</context>
<context>
    <name>gridmint::CTopPanelView</name>
    <message>
        <source>近傍色</source>
        <translation>Nearest</translation>
    </message>
    <message>
        <source>ピクセルのニアレストネイバー拡大選択</source>
        <comment>tool tip</comment>
        <translation>Nearest neighbour: put back plain blocks</translation>
    </message>
    <message>
        <source>自動拡大</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>ピクセルの自動拡大選択</source>
        <comment>tool tip</comment>
        <translation>Auto: put back the automatic result</translation>
    </message>
    <message>
        <source>角取り</source>
        <translation>Corner</translation>
    </message>
    <message>
        <source>角取り処理</source>
        <comment>tool tip</comment>
        <translation>Corner: cut a corner into a slope</translation>
    </message>
    <message>
        <source>斜め線</source>
        <translation>Diagonal Line</translation>
    </message>
    <message>
        <source>斜め線補正処理</source>
        <comment>tool tip</comment>
        <translation>Diagonal line: draw a 45° line</translation>
    </message>
    <message>
        <source>ドット打ち</source>
        <translation>Dot</translation>
    </message>
    <message>
        <source>ドット打ち</source>
        <comment>tool tip</comment>
        <translation>Dot: plot dots of the chosen colour</translation>
    </message>
    <message>
        <source>拡大</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>表示拡大</source>
        <comment>tool tip</comment>
        <translation>Zoom: click to zoom in, right-click to zoom out</translation>
    </message>
    <message>
        <source>斜め</source>
        <translation>Diagonal</translation>
    </message>
    <message>
        <source>斜め補正処理</source>
        <comment>tool tip</comment>
        <translation>Diagonal: correct a slope</translation>
    </message>
    <message>
        <source>太さ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>表示拡大率</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>再適用</source>
        <translation>Reapply</translation>
    </message>
    <message>
        <source>近似色判定閾値 : %1</source>
        <translation>Colour threshold: %1</translation>
    </message>
</context>
</TS>
