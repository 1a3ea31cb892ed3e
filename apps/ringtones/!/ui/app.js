// The ringtone application's first page: the window's settings and system
// information, and turning an audio file into a canonical wave file.
"use strict";

var shell = window.external;
var appDir = shell.Execute("GetApplicationDir");
var started = 0;
var wavePath = "";

var SETTINGS = ["win_ApplicationName", "win_StartupURL", "win_Language", "win_Width", "win_Height",
  "win_Top", "win_Left", "win_MinimumWidth", "win_MinimumHeight", "win_MaximumWidth",
  "win_MaximumHeight", "win_State", "win_Resizable", "win_TitleBar", "win_TopMost",
  "win_ScrollBars", "win_TextSelection", "win_Alpha", "win_ColorKey", "win_DpiAware"];
var INFO = ["info_IeVersion", "info_IeVersionMajor", "info_IeVersionMinor", "info_ScreenWidth",
  "info_ScreenHeight", "info_WorkAreaWidth", "info_WorkAreaHeight", "info_WindowsDpiX",
  "info_WindowsDpiY", "info_ApplicationDpiX", "info_ApplicationDpiY"];

// Worker statuses of Transcode: failures 3200 and up, reports 3300 and up.
var MESSAGES = {
  3200: "The file is not a media file.", 3201: "The file's streams cannot be read.",
  3202: "The file has no sound.", 3203: "No decoder for this sound.",
  3204: "The decoder cannot be opened.", 3205: "The sound cannot be converted.",
  3206: "The wave file cannot be created.", 3207: "The wave file cannot be written.",
  3300: "Stopped.", 3301: "Decoding…", 3302: "Normalising…", 3303: "Done."
};

function fill(table, names) {
  var rows = names.map(function (name) {
    var value;
    try { value = shell[name]; } catch (e) { value = "(" + e.message + ")"; }
    return "<tr><th>" + name + "</th><td>" + String(value).replace(/&/g, "&amp;").replace(/</g, "&lt;") + "</td></tr>";
  });
  document.getElementById(table).innerHTML = rows.join("");
}

function setStatus(text, isError) {
  var status = document.getElementById("status");
  status.textContent = text;
  status.className = isError ? "status error" : "status";
}

function onTranscode(status, done, total, elapsed) {
  if (total > 0) document.getElementById("bar").style.width = (100 * done / total).toFixed(1) + "%";
  setStatus(MESSAGES[status] || ("Status " + status), status >= 3200 && status < 3300);
  if (status === 3303) showResult(elapsed);
  if (status === 3300 || status === 3303 || (status >= 3200 && status < 3300)) {
    document.getElementById("make").disabled = false;
    console.log(status === 3303 ? "finished" : "failed " + status);
  }
  return true;
}

function showResult(elapsed) {
  var size = shell.Execute("FileSize", [wavePath]);
  var seconds = (size - 44) / (44100 * 4);
  document.getElementById("out-path").textContent = wavePath;
  document.getElementById("out-size").textContent = size.toLocaleString() + " bytes";
  document.getElementById("out-length").textContent = seconds.toFixed(2) + " s, 44100 Hz, 16-bit stereo";
  document.getElementById("out-time").textContent = (elapsed || (Date.now() - started)) + " ms";
  document.getElementById("result").hidden = false;
  document.getElementById("bar").style.width = "100%";
}

document.getElementById("form").addEventListener("submit", function (event) {
  event.preventDefault();
  var source = document.getElementById("source").value.trim();
  if (!source) { setStatus("Enter the path of an audio file.", true); return; }
  var name = source.replace(/^.*\//, "").replace(/\.[^.]*$/, "") || "sound";
  wavePath = shell.Execute("GetTempDir").replace(/\/?$/, "/") + name + ".wav";
  document.getElementById("result").hidden = true;
  document.getElementById("bar").style.width = "0";
  document.getElementById("make").disabled = true;
  setStatus("Starting…");
  started = Date.now();
  try {
    shell.Execute("Transcode", [source, wavePath, true, 100], "onTranscode");
  } catch (e) {
    setStatus(e.message, true);
    document.getElementById("make").disabled = false;
  }
});

fill("settings", SETTINGS);
fill("info", INFO);
var sample = appDir + "/samples/song.mp3";
document.getElementById("source").value = sample;
document.getElementById("recent").innerHTML = "<option value=\"" + sample + "\">";
console.log("ready");
