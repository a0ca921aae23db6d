#include "resources/StringTable.h"

#include <array>

namespace {

// Entries 102-105 are the reports that stand in for a paragraph's translation (two lines each); 106 and 107
// the texts of the two warning boxes.
constexpr std::array<win32::StringResource, 8> kStrings = {{
    {100, "VUVed3UzeroVadave"},
    {101, "varaved"},
    {102, "| 報告 - エンジンに問題がある可能性があるため、翻訳処理に失敗しました\n- ダンモ  varaved -"},
    {103, "| 報告 - サーバがメール解析処理に失敗したため、翻訳に失敗しました\n- ダンモ  varaved -"},
    {104, "| 報告 - 翻訳エンジンがエラーを返したため、翻訳処理に失敗しました\n- ダンモ  varaved -"},
    {105, "| 報告 - サーバが翻訳結果の処理に失敗しました\n- ダンモ  varaved -"},
    {106,
     "受信メールサーバが見つかりません。受信メールサーバのアドレスをご確認ください。\n"
     "また、メーラで正常にメールが受信できることをご確認ください。\n"
     "- ダンモ  varaved -"},
    {107,
     "メールソフトに登録のメールサーバの設定と、varavedが使用する設定の値が競合しているため、"
     "varavedの機能を使用することができません。設定をご確認ください。\n"
     "- ダンモ  varaved -"},
}};

}  // namespace

std::span<const win32::StringResource> ModuleStringTable() {
    return kStrings;
}
