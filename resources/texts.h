// Every text Vorlix shows a user, in one place. UTF-8; the Japanese texts are exactly as the
// program has always shown them (blanks included: the level texts line up in their field).
#pragma once

#include <array>
#include <string_view>

namespace vorlix::texts {

// Main window
inline constexpr std::string_view kWindowCaption = "Vorlix";
inline constexpr std::string_view kStartButton = "開始";
inline constexpr std::string_view kEndButton = "終了";
inline constexpr std::string_view kRecIndicator = "REC";
inline constexpr std::string_view kPreviousButton = "前のスライドへ";
inline constexpr std::string_view kNextButton = "次のスライドへ";
// Pause: the button's two texts, and the REC mark's caption while nothing is recorded.
inline constexpr std::string_view kPauseButton = "一時停止";
inline constexpr std::string_view kResumeButton = "再開";
inline constexpr std::string_view kRecPaused = "停止中";
inline constexpr std::string_view kPauseTooltip = "録音を一時停止・再開します (Pause キー)";
// Microphone choice (in the window's context menu); %1, %2 are filled in by the window.
inline constexpr std::string_view kMicrophoneMenu = "マイク(&M)";
inline constexpr std::string_view kDefaultMicrophoneFormat = "既定の入力 (%1)";
inline constexpr std::string_view kMicrophoneTooltipFormat = "録音する入力: %1";
inline constexpr std::string_view kNoMicrophone = "入力が見つかりません";
inline constexpr std::string_view kMicrophoneMissingFormat =
    "選ばれていたマイク「%1」が見つからないため，既定の入力「%2」で録音します。\n"
    "マイクはウィンドウの右クリックメニューで選べます。";
inline constexpr std::string_view kAboutMenuItem = "Vorlix のﾊﾞｰｼﾞｮﾝ情報(&A)...";

// About box
inline constexpr std::string_view kAboutCaption = "Vorlixのﾊﾞｰｼﾞｮﾝ情報";
inline constexpr std::string_view kAboutVersion = "Vorlix Version 1.0";
inline constexpr std::string_view kAboutSecondLine = "講義の声とスライドを一本のAVIに";
inline constexpr std::string_view kAboutOk = "OK";

// Lecture clock display: minutes, seconds, tenths (0 or 5)
inline constexpr const char* kClockFormat = "%02ld:%02ld.%01ld sec";

// Slides and the lecture
inline constexpr std::string_view kPressStartFirst = "まず開始してください";
inline constexpr std::string_view kNoSlidesFound = "適切なスライドが見つかりませんでした";
inline constexpr std::string_view kThreadNotCreated = "スレッドが作れませんでした。";
inline constexpr std::string_view kTimelineFileNotCreated =
    "中間ファイルの作成に失敗したため中断します";
inline constexpr std::string_view kConversionRetry =
    "AVIファイルの生成に失敗したので再度作成をやり直します。\n"
    "ファイル名やコーデックを確認してください。\n"
    "生成するAVIファイルを指定してください";
inline constexpr std::string_view kChooseSlideFolder =
    "スライドが含まれるディレクトリを指定してください\n"
    "ファイル名は\"スライド1.bmp\"からの連番のみ読み取ります";
// After kNoSlidesFound: what the folder must hold, then the folder that was searched.
inline constexpr std::string_view kNoSlidesHelp =
    "フォルダには次のどれかが必要です:\n"
    "・スライド1.bmp, スライド2.bmp, … (.png .jpg .jpeg も可。大文字小文字は問いません)\n"
    "・Slide1.png, Slide2.png, … (.bmp .jpg .jpeg も可)\n"
    "・deck.001.jpeg, deck.002.jpeg, … や image01.png, image02.png, … のように0で桁をそろえた連番\n"
    "・PDFファイル1つ (各ページがスライドになります)\n"
    "番号は1から始まり，最初に抜けた番号の前まで，最大512枚を読みます。";
inline constexpr const char* kSlideFolderSearchedFormat = "探したフォルダ: %s";
// A PDF deck's pages are drawn into pictures at Start.
inline constexpr std::string_view kPreparingSlides = "PDFのページをスライドにしています...";
inline constexpr const char* kPdfNotReadFormat =
    "PDFファイルからスライドを作れませんでした: %s\n%s";
// Why a slide file could not be read, after its path.
inline constexpr std::string_view kSlideNotOpened = "開けません";
inline constexpr std::string_view kSlideUnknownFormat = "BMP・PNG・JPEGのどれとしても読めません";
inline constexpr std::string_view kSlideDamaged = "壊れているか，途中で切れています";
inline constexpr std::string_view kSlideTooLarge = "大きすぎます";
inline constexpr std::string_view kPdfLocked = "パスワードで保護されています";
inline constexpr std::string_view kPdfNoPages = "ページがありません";
inline constexpr std::string_view kPdfFolderNotMade = "ページの画像を書くフォルダを作れません";
inline constexpr std::string_view kPdfPageNotWritten = "ページの画像を書けません";
// Slide file name: folder prefix, then the number from 1 without leading zeros.
inline constexpr const char* kSlideNameFormat = "%sスライド%01ld.bmp";

inline constexpr std::string_view kTimelineFull =
    "スライドの切り替えの記録が上限 (8200 回) に達しました。これ以降の切り替えは動画に入りませんが，"
    "最後のスライドは終了まで映ります。";

// The journal that keeps each slide change on disk as the lecture goes, and the recovery of a
// lecture a crash or a kill left without its video.
inline constexpr std::string_view kJournalNotWritten =
    "スライドの切り替えを記録するファイルに書き込めませんでした。講義は続けられますが，"
    "途中で異常終了すると動画を作り直せません。";
inline constexpr const char* kRecoveryQuestionFormat =
    "動画が作成されていない講義が見つかりました (異常終了したか，強制終了されたようです)。\n"
    "記録: %s\n今すぐ動画を作成しますか?\n"
    "「いいえ」を選ぶとファイルはそのまま残り，後から次のコマンドで作成できます:\n"
    "vorlix-convert %s -o 講義.avi";

// Closing the window while a lecture runs: the narration and timeline paths are filled in.
inline constexpr std::string_view kCloseDuringLecture =
    "録音中です。録音を終了して保存し，プログラムを閉じますか?";
inline constexpr const char* kSavedOnCloseFormat =
    "録音を保存しました。\n音声ファイル: %1$s\n中間ファイル: %2$s\n"
    "動画は後から次のコマンドで作成できます:\nvorlix-convert %2$s %1$s -o 講義.avi";
inline constexpr const char* kNarrationSavedOnCloseFormat =
    "録音を保存しました。\n音声ファイル: %s\n中間ファイルは作成できなかったため，動画は作成できません。";

// Narration file and recording
inline constexpr std::string_view kNarrationNotCreated =
    "音声ファイルを作成できませんでした。録音されないため，中断してください。";
inline constexpr std::string_view kNarrationWriteFailed =
    "音声ファイルに書き込めませんでした。これ以降は録音されないため，中断してください。";
inline constexpr std::string_view kNarrationFull =
    "音声ファイルが上限の大きさに達しました。これ以降は録音されないため，中断してください。";
inline constexpr std::string_view kWideNarrationNotCreated =
    "16ビットの音声ファイルを作成できませんでした。8ビットの音声ファイルにだけ録音します。";
inline constexpr std::string_view kWideNarrationWriteFailed =
    "16ビットの音声ファイルに書き込めませんでした。これ以降は8ビットの音声ファイルにだけ録音します。";
inline constexpr std::string_view kWideNarrationFull =
    "16ビットの音声ファイルが上限の大きさに達しました。これ以降は8ビットの音声ファイルにだけ録音します。";
inline constexpr std::string_view kDeviceNotOpened =
    "録音デバイスを開けませんでした。録音されないため，中断してください。";
inline constexpr std::string_view kDeviceLost =
    "録音デバイスが停止しました。これ以降は録音されないため，中断してください。";
inline constexpr std::string_view kBuffersNotAllocated =
    "録音用のメモリを確保できませんでした。録音されないため，中断してください。";

// Level meter, loudest first: the text of the first threshold the level range reaches.
struct LevelText {
    int minRange;
    std::string_view text;
};
inline constexpr std::array<LevelText, 9> kLevelTexts{{
    {224, "音量||||||||過大"},
    {128, "音量||||||| OK"},
    {64, "音量||||||  OK"},
    {32, "音量|||||  OK"},
    {16, "音量||||  過小"},
    {8, "音量|||  過小"},
    {4, "音量||  過小"},
    {2, "音量|  過小"},
    {0, "音量.  無音"},
}};

// Conversion
inline constexpr std::string_view kSaveFilterDescription = "AVI-type file (*.avi)";
inline constexpr std::string_view kSaveFilterPattern = "*.avi";
inline constexpr std::string_view kSaveInitialName = "*.avi";
// The web video, offered beside the AVI in the same save dialogue.
inline constexpr std::string_view kSaveMp4FilterDescription = "MP4ファイル (Web用 H.264/AAC) (*.mp4)";
inline constexpr std::string_view kSaveMp4FilterPattern = "*.mp4";
inline constexpr std::string_view kWritingMp4 = "MP4ファイルを作成しています...";
inline constexpr const char* kMp4WrittenFormat =
    "MP4ファイルを作成しました。\n動画: %s\n章の一覧 (WebVTT): %s";
inline constexpr const char* kMp4FailedFormat =
    "MP4ファイルを作成できませんでした。\n%s\n保存先を指定し直してください。";
inline constexpr std::string_view kAbandonQuestion = "全ての作業を中断しますか?";
inline constexpr std::string_view kTimelineReadError = "中間ファイル読み込み時にエラーが発生しました";
inline constexpr std::string_view kConversionEnded = "AVI変換処理が終了しました。";
// Under the word that the conversion ended: the file written.
inline constexpr const char* kVideoWrittenLineFormat = "動画: %s";
// What was wrong with a video that was written anyway, listed under the word that it ended.
inline constexpr std::string_view kProblemsHeading = "次の問題がありました:";
inline constexpr const char* kProblemsMoreFormat = "ほかに %ld 件の問題があります";
inline constexpr const char* kProblemLineFormat =
    "%s: %ld 行目が正しくありません。これ以降の行は動画に入っていません。";
inline constexpr const char* kProblemTickFormat =
    "%s: %ld 行目の時刻 %ld が音声の長さを超えているか，前の行より前です。これ以降の行は動画に入っていません。";
inline constexpr const char* kProblemNoLinesFormat =
    "%s: 行が一つもありません。動画にスライドは入っていません。";
inline constexpr const char* kProblemJournalLineFormat =
    "%s: %ld 行目を読めなかったため，読み飛ばしました。";
inline constexpr std::string_view kProblemSlide = "スライドを読めませんでした (その間の動画は白い画面です):";
inline constexpr std::string_view kNarrationNotCopied =
    "音声をAVIファイルに書き込めませんでした。動画に音声が入っていません。";

// Codec choice and the progress of the video
inline constexpr std::string_view kCodecDialogCaption = "ビデオの圧縮";
inline constexpr std::string_view kCodecDialogPrompt = "圧縮プログラムを選んでください";
inline constexpr std::string_view kCodecQuality = "圧縮の品質";
inline constexpr std::string_view kCancel = "キャンセル";
inline constexpr std::string_view kWritingVideo = "AVIファイルを作成しています...";

// Video encoders as the codec choice lists them
inline constexpr std::string_view kCodecUncompressed = "Full frames (uncompressed)";
inline constexpr std::string_view kCodecMjpeg = "Motion JPEG";
inline constexpr std::string_view kCodecMpeg4 = "MPEG-4 Part 2";
inline constexpr std::string_view kCodecH264 = "H.264 (all intra)";
inline constexpr std::string_view kCodecFfv1 = "FFV1 (lossless)";
inline constexpr std::string_view kCodecUtVideo = "Ut Video (lossless)";
inline constexpr std::string_view kCodecZmbv = "ZMBV (lossless)";
inline constexpr std::string_view kCodecHuffyuv = "Huffyuv (lossless)";
inline constexpr std::string_view kCodecPng = "PNG (lossless)";

// The command-line converter (vorlix-convert)
inline constexpr std::string_view kConvertUsage =
    "使い方: vorlix-convert 中間ファイル [音声ファイル] -o 出力.avi [--codec 名前] [--quality 1-100]\n"
    "                      [--limit 行数] [--format avi|mp4]\n"
    "       vorlix-convert --list-codecs\n"
    "講義の中間ファイル (vx_*.tmp か vx_*.journal) と音声ファイル (vx_temp_*.wav) から AVI ファイルを\n"
    "作り直します。vx_*.journal なら音声ファイルは省略できます。\n"
    "  -o, --output 出力先   作成する AVI ファイル (\".avi\" で終わらなければ付け足します)\n"
    "                        \".mp4\" で終われば Web 用の MP4 (H.264, AAC) と章の WebVTT を作ります\n"
    "  --format avi|mp4      作成する動画の種類 (既定は出力先の拡張子で決まります。mp4 なら\n"
    "                        \".mp4\" で終わらない出力先に \".mp4\" を付け足します)\n"
    "  --codec 名前          映像の圧縮方式 (既定は mjpeg。一覧は --list-codecs)\n"
    "  --quality 1-100       画質 (画質の設定がある圧縮方式だけ。大きいほどきれいです)\n"
    "  --limit 行数          これより多い行は変換しません (既定はすべての行)\n"
    "  --list-codecs         使える圧縮方式を表示します\n"
    "  -h, --help            この説明を表示します\n"
    "終了コード: 0 すべての行とスライドが入った動画を作成, 1 動画を作成できなかった,\n"
    "            2 引数の誤りか，指定した入力ファイルを読めない (何も書きません),\n"
    "            3 動画は作成したが問題があった (問題は標準エラー出力に表示)\n";
inline constexpr const char* kConvertUnknownCodec = "不明な圧縮方式です: %s (一覧は --list-codecs)";
inline constexpr const char* kConvertBadValue = "%s の値が正しくありません: %s";
inline constexpr const char* kConvertBadArgument = "不明な引数です: %s";
inline constexpr std::string_view kConvertNoOutput = "出力ファイルを -o で指定してください";
inline constexpr std::string_view kConvertNoTimeline = "中間ファイルを指定してください";
inline constexpr const char* kConvertProgress = "\r%ld 行目まで変換, 音声 %ld / %ld 秒";
inline constexpr const char* kConvertWritten = "作成しました: %s";
inline constexpr const char* kConvertWrittenWithProblems = "作成しましたが，次の問題があります: %s";
inline constexpr std::string_view kConvertNarrationUnreadable = "音声ファイルを読めません";
inline constexpr std::string_view kConvertOutputIsInput =
    "出力ファイルが入力ファイルそのものです (リンクを含む)。何も書きません:";
inline constexpr const char* kConvertFailed = "AVIファイルを正しく作成できませんでした: %s";
inline constexpr const char* kConvertMp4Failed = "MP4ファイルを作成できませんでした: %s";
inline constexpr const char* kConvertBadFormat = "--format の値は avi か mp4 です: %s";
inline constexpr const char* kConvertMp4Progress = "MP4 を作成しています... %d%%";
inline constexpr std::string_view kConvertQualityNote = "画質 %d-%d, 既定 %d";

// Web video (MP4): each chapter is titled with its slide's number after this
inline constexpr std::string_view kChapterTitlePrefix = "スライド ";

// The video writer's own English messages and captions
inline constexpr std::string_view kCannotOpenAviFile = "CannotOpenAviFile";
inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kWritingErr = "WritingERR";
inline constexpr std::string_view kMakeDibError = "MAKEDIB ERROR!";
inline constexpr std::string_view kAviErrCaption = "AVI ERR";

}  // namespace vorlix::texts
