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
// Slide file name: folder prefix, then the number from 1 without leading zeros.
inline constexpr const char* kSlideNameFormat = "%sスライド%01ld.bmp";

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
inline constexpr std::string_view kAbandonQuestion = "全ての作業を中断しますか?";
inline constexpr std::string_view kTimelineReadError = "中間ファイル読み込み時にエラーが発生しました";
inline constexpr std::string_view kConversionEnded = "AVI変換処理が終了しました。";
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
    "                      [--limit 最終時刻]\n"
    "       vorlix-convert --list-codecs\n"
    "講義の中間ファイル (vx_*.tmp) と音声ファイル (vx_temp_*.wav) から AVI ファイルを作り直します。\n"
    "  -o, --output 出力先   作成する AVI ファイル (\".avi\" で終わらなければ付け足します)。\n"
    "                        \".mp4\" で終われば Web 用の MP4 (H.264, AAC) と章の WebVTT を作ります\n"
    "  --codec 名前          映像の圧縮方式 (既定は mjpeg。一覧は --list-codecs)\n"
    "  --quality 1-100       画質 (画質の設定がある圧縮方式だけ。大きいほどきれいです)\n"
    "  --limit 最終時刻      半秒単位の最終時刻。これより多い行は変換しません (既定は最後の行の時刻)\n"
    "  --list-codecs         使える圧縮方式を表示します\n"
    "  -h, --help            この説明を表示します\n";
inline constexpr const char* kConvertUnknownCodec = "不明な圧縮方式です: %s (一覧は --list-codecs)";
inline constexpr const char* kConvertBadValue = "%s の値が正しくありません: %s";
inline constexpr const char* kConvertBadArgument = "不明な引数です: %s";
inline constexpr std::string_view kConvertNoOutput = "出力ファイルを -o で指定してください";
inline constexpr std::string_view kConvertNoTimeline = "中間ファイルを指定してください";
inline constexpr const char* kConvertProgress = "\r%ld 行目まで変換, 音声 %ld / %ld 秒";
inline constexpr const char* kConvertWritten = "作成しました: %s";
inline constexpr const char* kConvertFailed = "AVIファイルを正しく作成できませんでした: %s";
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
