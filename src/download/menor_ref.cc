// MenorRef: load, start sequence, transfer routine, progress reports and closing.
#include "download/menor_ref.h"

#include <algorithm>
#include <cstdio>

#include "common/cp1252.h"
#include "common/numbers.h"
#include "common/text.h"
#include "download/file_facts.h"
#include "download/menor_ref_form.h"
#include "download/program_check.h"
#include "platform/program_end.h"

namespace velmorin {
namespace {

constexpr int kEscape = 27;
const char* const kDefaultPath = "/documentos/quenil.txt";

bool IsCompressedDownload(const std::string& path) { return UpperCp1252(Right(path, 4)) == ".F_C"; }

std::string WholeNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.0f", RoundHalfEven(value));
  return buffer;
}

}  // namespace

UrlParts ScanUrl(const std::string& url) {
  UrlParts parts;
  int slashes = 0;
  for (size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '/') {
      ++slashes;
      parts.last_slash = static_cast<int>(i + 1);
    } else if (slashes == 2) {
      parts.host += url[i];
    }
  }
  if (parts.last_slash > 0) parts.file_name = std::string(Mid(url, parts.last_slash + 1));
  return parts;
}

MenorRef::MenorRef(platform::Platform& platform, Channels& channels, const Settings& settings)
    : platform_(platform), channels_(channels), settings_(settings), form_(MenorRefFormSpec()) {
  form_.on_timer = [this](const std::string&) { RunEventHandler(platform_.ui, [this] { Timer1Tick(); }); };
  form_.on_key_press = [this](int key) { KeyPress(key); };
  form_.on_click = [this](const std::string& control) {
    if (control == "Command2") Command2Click();
  };
}

void MenorRef::EnsureLoaded() {
  if (form_.loaded()) return;
  platform_.ui.Load(form_);
  FormLoad();
}

void MenorRef::FormLoad() {
  form_.SetText("Text1", settings_.coop_site + kDefaultPath);
  last_elapsed_seconds_ = 0;
  form_.SetText("Label7", "");
}

std::string MenorRef::Text1() {
  EnsureLoaded();
  return form_.Text("Text1");
}

void MenorRef::SetText1(const std::string& url) {
  EnsureLoaded();
  form_.SetText("Text1", url);
}

std::string MenorRef::Text2() {
  EnsureLoaded();
  return form_.Text("Text2");
}

void MenorRef::SetText2(const std::string& path) {
  EnsureLoaded();
  form_.SetText("Text2", path);
}

void MenorRef::SetProgressBar(int value) {
  EnsureLoaded();
  form_.SetValue("ProgressBar1", value);
}

void MenorRef::Show() {
  EnsureLoaded();
  platform_.ui.ShowModal(form_);
}

void MenorRef::Timer1Tick() {
  if (!form_.loaded() || !form_.visible() || !form_.TimerEnabled("Timer1")) return;
  platform_.ui.Refresh(form_);
  form_.SetTimerEnabled("Timer1", false);
  StartSequence();
}

void MenorRef::StartSequence() {
  form_.SetText("Descarga", form_.Text("Text2"));
  // Shown without the user name and password an address may carry.
  const std::string url = WithoutCredentials(form_.Text("Text1"));
  form_.SetText("Label9", url);
  const UrlParts parts = ScanUrl(url);
  if (parts.last_slash > 0) form_.SetText("Label10", "Descarga '" + parts.file_name + "' de " + parts.host);
  if (parts.host == settings_.update_address) {
    form_.SetText("Descarga", Ansi("Ultima Versión de ") + settings_.update_hostname);
  }
  Command1Click();
  Close();
}

void MenorRef::Command1Click() {
  channels_.CloseAll();
  auto control = platform_.make_download_file();
  control->SourceUrl = form_.Text("Text1");
  control->TargetPath = form_.Text("Text2");
  control->TransferProgress = [this](platform::TransferProgressArgs& args) { TransferProgress(args); };
  if (IsProgramDownload(control->TargetPath))
    control->CheckDownload = [this](const std::string& path) { return CheckDownload(path); };
  control->ReportLine = [this](const std::string& line) { platform::Report(platform_, "descarga", line); };
  last_bytes_received_ = 0;
  download_check_.clear();
  const double start = platform_.clock.SteadySeconds();
  control->StartTransfer();
  ReportTransfer(*control, platform_.clock.SteadySeconds() - start);
  const bool on_update_server = Contains(control->SourceUrl, settings_.update_domain);
  const bool failed = control->TransferFailed();
  if (!on_update_server && failed) return;
  if (failed) FailureBox();
  const std::string result = control->ResultText();
  if (result != "OK") EndWithBox(platform::MessageIcon::kInformation, "", result);
  Succeeded(on_update_server);
}

std::optional<std::string> MenorRef::CheckDownload(const std::string& path) {
  const ProgramCheck check = CheckProgram(platform_.trust, path, settings_.trusted_signer);
  download_check_ = check.text;
  if (check.refused) return check.text;
  return std::nullopt;
}

void MenorRef::FailureBox() {
  EndWithBox(platform::MessageIcon::kCritical, "Error de actualizacion",
             "No puede descargar \n" + form_.Text("Descarga") +
                 "\n\nEl proceso de actualizacion se va a interrumpir\n" +
                 Ansi("Compruebe si está conectado a internet"));
}

// Every outcome, also a failure that the run passes over in silence.
void MenorRef::ReportTransfer(const platform::DownloadFile& control, double seconds) {
  if (platform_.report == nullptr) return;
  char figures[96];
  std::snprintf(figures, sizeof figures, "; HTTP %d; %ld bytes; %.1f s", control.HttpStatus(),
                static_cast<long>(last_bytes_received_), seconds);
  const std::string outcome = control.TransferFailed() ? "fallo: " + control.ResultText() : control.ResultText();
  std::string facts;
  if (outcome == "OK" && !download_check_.empty()) facts += "; " + download_check_;
  if (outcome == "OK" && !control.TargetPath.empty()) facts += "; archivo: " + FileFacts(platform_, control.TargetPath);
  platform::Report(
      platform_, "descarga",
      WithoutCredentials(control.SourceUrl) + " -> " + control.TargetPath + ": " + outcome + figures + facts);
}

// A refused program ends the transfer as a failed one would.
void MenorRef::Succeeded(bool on_update_server) {
  const std::string target = form_.Text("Text2");
  if (IsCompressedDownload(target)) {
    const std::string expanded = target.substr(0, target.size() - 4);
    // A failed expansion starts nothing: an older program at that path must not run.
    const Expansion expansion = ExpandProgram(platform_, target, expanded, settings_.trusted_signer);
    if (expansion == Expansion::kPlaced) platform_.processes.StartFocused(expanded);
    if (expansion == Expansion::kRefused && !on_update_server) return;
    if (expansion == Expansion::kRefused) FailureBox();
  }
  SetOption1();
}

void MenorRef::SetOption1() {
  channels_.CloseAll();
  Close();
}

void MenorRef::Close() {
  if (form_.loaded()) platform_.ui.Unload(form_);
}

void MenorRef::EndWithBox(platform::MessageIcon icon, const std::string& title, const std::string& text) {
  platform_.ui.MessageBox(icon, title, text);
  Close();
  platform_.ui.EndProgram(kExitAfterMessageBox);
}

void MenorRef::KeyPress(int key) {
  if (key == kEscape) cancel_requested_ = true;
}

void MenorRef::Command2Click() { cancel_requested_ = true; }

void MenorRef::TransferProgress(platform::TransferProgressArgs& args) {
  last_bytes_received_ = args.BytesReceived;
  if (cancel_requested_) {
    args.Cancel = true;
    cancel_requested_ = false;
  }
  if (args.State != 1 && form_.loaded()) {
    form_.SetText("Label1", FormatHashes(args.Percent) + "%");
    const auto seconds = static_cast<float>(args.ElapsedSeconds);
    if (seconds != last_elapsed_seconds_ && args.ElapsedSeconds != 0) {
      const double kb = static_cast<double>(args.BytesReceived) / args.ElapsedSeconds / 128;
      form_.SetText("Label7", WholeNumber(kb) + " kb");
      last_elapsed_seconds_ = seconds;
    }
    // Rounded first, then single precision; the bar cannot show a value outside 0..100.
    const float bar = static_cast<float>(RoundHalfEven(args.Percent));
    form_.SetValue("ProgressBar1", !(bar >= 0) ? 0 : static_cast<int>(std::min(bar, 100.0F)));
  }
  platform_.ui.DoEvents();
}

}  // namespace velmorin
