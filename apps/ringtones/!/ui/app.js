// Nimbra Ringtones: open a song (file, drop, recent list or CD), choose the
// stretch on its waveform, listen to it with volume and fades, save it as a
// 3GP, MP3 or WAV ringtone and send it to a phone.
"use strict";

var APP = "Nimbra Ringtones";
var SONG_FILTERS = [["Songs (MP3, WMA, OGG, WAV, FLAC)", "*.mp3;*.wma;*.ogg;*.oga;*.wav;*.flac"],
  ["MP3 files", "*.mp3"], ["Windows Media Audio", "*.wma"], ["Ogg Vorbis", "*.ogg;*.oga"],
  ["Wave files", "*.wav"], ["FLAC files", "*.flac"], ["All files", "*"]];
var FORMATS = {
  "3gp": {label: "3GP ringtone", filters: [["3GP ringtone", "*.3gp"]], ext: ".3gp"},
  "mp3": {label: "MP3 ringtone", filters: [["MP3 file", "*.mp3"]], ext: ".mp3"},
  "wav": {label: "Wave ringtone", filters: [["Wave file", "*.wav"]], ext: ".wav"}
};
var MAX_RECENT = 8;
var BYTES_PER_MS = 176.4;  // 44100 Hz, stereo, 16-bit

var tempDir = call("GetTempDir");
var session = "nimbra-" + Date.now().toString(36);
var songCount = 0;
var tempFiles = [];

var song = null;        // {source, wave, ms}
var ringtone = null;    // {path, format}
var songJob = 0, playJob = 0, makeJob = 0, sendJob = 0, findJob = 0;
var paused = false;
var songLine = new ProgressLine("song");
var makeLine = new ProgressLine("make");
var sendLine = new ProgressLine("send");

function $(id) { return document.getElementById(id); }
function footer(text) { $("footer-text").textContent = text; }
// Where a control is in the window, for scripts that drive the application.
function logLayout(ids) {
  ids.forEach(function (id) {
    var box = $(id).getBoundingClientRect();
    console.log("layout " + id + " " + Math.round(box.left) + " " + Math.round(box.top) + " " + Math.round(box.width) + " " + Math.round(box.height));
  });
}
function tempPath(suffix) { var path = tempDir + "/" + session + "-" + suffix; tempFiles.push(path); return path; }
function seconds(id) { var value = parseFloat($(id).value); return isFinite(value) && value > 0 ? value : 0; }
function sizeText(bytes) { return bytes >= 1048576 ? (bytes / 1048576).toFixed(1) + " MB" : Math.max(1, Math.round(bytes / 1024)) + " KB"; }

// --- Opening a song -----------------------------------------------------------

var TRANSCODE_FAILURES = {
  3200: "is not a sound or video file this application can read",
  3201: "cannot be read: the file may be damaged",
  3202: "holds no sound",
  3203: "uses a sound format this application has no decoder for",
  3204: "cannot be decoded: the file may be damaged",
  3205: "cannot be converted to CD quality",
  3206: "cannot be converted: the temporary folder is not writable",
  3207: "cannot be converted: writing to the temporary folder failed (the disk may be full)"
};
var WAVEFORM_FAILURES = {
  3200: "the converted sound cannot be opened", 3201: "the converted sound cannot be read",
  3202: "the converted sound is not a wave file", 3203: "the pictures cannot be written to the temporary folder",
  3204: "the pictures cannot be drawn"
};

function chooseSong() {
  if (!Functions.has("OpenFileName")) { say("song-status", "File dialogs are not available in this version.", "error"); return; }
  var chosen;
  try { chosen = call("OpenFileName", ["Open a song", SONG_FILTERS, false, Jar.get("songFolder", "")]); }
  catch (e) { say("song-status", "The file dialog cannot be shown: " + e.message, "error"); return; }
  if (chosen && chosen.length) openSong(chosen[0]);
}

function stopSongWork() {
  Workers.stop(songJob);
  songJob = 0;
}

function openSong(path) {
  stopPlaying();
  stopSongWork();
  $("welcome").hidden = true;
  $("song").hidden = false;
  $("song-title").textContent = fileName(path);
  $("song-facts").textContent = "";
  $("wave").hidden = $("stretch").hidden = true;
  $("shape").hidden = $("make").hidden = $("send").hidden = true;
  say("song-status", "");
  remember(path);
  Jar.set("songFolder", folderOf(path));
  var wave = tempPath("song" + (++songCount) + ".wav");
  var started = Date.now();
  songLine.show("Converting…", function () { stopSongWork(); songLine.hide(); say("song-status", "Stopped. Open the song again to go on."); });
  footer("Converting " + fileName(path) + "…");
  try {
    songJob = Workers.start("Transcode", [path, wave, true, 100], function (status, done, total) {
      if (status === 3301 || status === 3302) {
        songLine.update(done, total, status === 3302 ? "Evening out the volume…" : "Converting… " + Math.round(100 * done / Math.max(1, total)) + " %");
        return false;
      }
      if (status === 3303) { songLoaded(path, wave, Date.now() - started); return true; }
      songLine.hide();
      if (status === 3300) return true;
      say("song-status", "“" + fileName(path) + "” " + (TRANSCODE_FAILURES[status] || "cannot be converted (status " + status + ")") +
          ". Choose another file.", "error");
      footer("Ready.");
      return true;
    });
  } catch (e) {
    songLine.hide();
    say("song-status", "“" + fileName(path) + "” cannot be opened: " + e.message, "error");
  }
}

// A canonical wave of the song is ready (converted or ripped): draw it.
function songLoaded(source, wave, tookMs) {
  var bytes = call("FileSize", [wave]) - 44;
  var ms = Math.floor(bytes / BYTES_PER_MS);
  if (ms < 100) {
    songLine.hide();
    song = null;
    say("song-status", "“" + fileName(source) + "” holds no sound this application can read: the file may be damaged. Choose another file.", "error");
    footer("Ready.");
    return;
  }
  song = {source: source, wave: wave, ms: ms};
  $("song-facts").textContent = WaveView.clock(song.ms) + " · 44.1 kHz stereo";
  WaveView.setSong(song.ms);
  console.log("song ready " + song.ms + " ms after " + tookMs + " ms");
  if (!Functions.has("BuildWaveforms")) {
    songLine.hide();
    say("song-status", "The waveform cannot be drawn in this version; the stretch can still be set as numbers.");
    showShaping();
    return;
  }
  var pictures = [];
  for (var level = 0; level < WaveView.LEVELS; level++) pictures.push(tempPath("wave" + songCount + "-" + level + ".png"));
  songLine.show("Drawing the waveform…", function () { stopSongWork(); songLine.hide(); say("song-status", "Stopped before the waveform was drawn."); });
  var drawStarted = Date.now();
  try {
    songJob = Workers.start("BuildWaveforms", [wave, pictures, 100], function (status, done, total) {
      if (status === 3301) { songLine.update(done, total, "Reading the sound…"); return false; }
      if (status === 3302) { songLine.update(done, total, "Drawing picture " + done + " of " + total + "…"); return false; }
      songLine.hide();
      if (status === 3303) {
        $("wave").hidden = false;
        WaveView.show(pictures, song.ms, defaultSelection());
        showShaping();
        console.log("waveform shown " + (Date.now() - drawStarted) + " ms after the song was ready");
        logLayout(["zoom-view"]);
        return true;
      }
      if (status !== 3300) say("song-status", "The waveform cannot be drawn: " + (WAVEFORM_FAILURES[status] || "status " + status) + ".", "error");
      showShaping();
      return true;
    });
  } catch (e) {
    songLine.hide();
    say("song-status", "The waveform cannot be drawn: " + e.message, "error");
    showShaping();
  }
}

// Thirty seconds from a quarter into the song, or the whole of a short one.
function defaultSelection() {
  var length = Math.min(30000, song.ms);
  var start = song.ms > length ? Math.min(Math.floor(song.ms / 4), song.ms - length) : 0;
  return {start: start, length: length};
}

function showShaping() {
  $("shape").hidden = $("make").hidden = $("stretch").hidden = false;
  $("zoom-tools").hidden = $("wave").hidden;
  var selection = defaultSelection();
  WaveView.select(selection.start, selection.length);
  footer($("wave").hidden ? "Set where the ringtone starts and how long it is, then press ▶ to listen."
                          : "Drag over the waveform to choose the part that rings, then press ▶ to listen.");
}

WaveView.onSelect(function (selection) {
  $("sel-start").value = (selection.start / 1000).toFixed(1);
  $("sel-length").value = (selection.length / 1000).toFixed(1);
  $("play-time").textContent = WaveView.clock(selection.start);
});
WaveView.onError(function () { say("song-status", "The waveform pictures cannot be shown.", "error"); });

function selectionFromFields() {
  if (!song) return;
  WaveView.select(seconds("sel-start") * 1000, seconds("sel-length") * 1000);
}

// --- Recent songs and drops -------------------------------------------------------

function recentSongs() {
  var list = [];
  for (var i = 0; i < MAX_RECENT; i++) { var path = Jar.get("recent" + i, ""); if (path) list.push(path); }
  return list;
}
function remember(path) {
  var list = [path].concat(recentSongs().filter(function (p) { return p !== path; })).slice(0, MAX_RECENT);
  for (var i = 0; i < MAX_RECENT; i++) Jar.set("recent" + i, list[i] || "");
  fillRecent();
}
function fillRecent() {
  var select = $("recent");
  var list = recentSongs();
  select.innerHTML = "<option value=\"\">Recent songs</option>";
  list.forEach(function (path) {
    var option = document.createElement("option");
    option.value = path;
    option.textContent = fileName(path);
    option.title = path;
    select.appendChild(option);
  });
  select.disabled = list.length === 0;
}

function onDragEnter() { return arguments.length > 2 ? 2 : 1; }
function onDragOver() { return 2; }
function onDragLeave() {}
function onDropFiles(x, y) {
  // The paths come last first; the first dropped song is opened.
  var paths = Array.prototype.slice.call(arguments, 2);
  if (paths.length) openSong(paths[paths.length - 1]);
  return 2;
}

// --- CD -------------------------------------------------------------------

var CD_FAILURES = {
  3200: "the drive is not there any more", 3202: "there is no disc in the drive", 3203: "the disc cannot be read",
  3204: "the track is not on this disc", 3205: "it is a data track, not music", 3207: "the temporary file cannot be created",
  3208: "the disc cannot be read at this point (scratched?)", 3209: "writing to the temporary folder failed (the disk may be full)",
  3211: "the CD reader cannot be started", 3212: "the CD reader cannot be started"
};
var cdTrack = -1;

function showCd() {
  $("welcome").hidden = true;
  $("cd").hidden = false;
  console.log("CD panel shown");
  if (!Functions.has("GetDrivesInfo")) { say("cd-status", "Audio CDs are not supported in this version.", "error"); return; }
  var drives;
  try { drives = call("GetDrivesInfo"); } catch (e) { say("cd-status", "The CD drives cannot be listed: " + e.message, "error"); return; }
  var select = $("cd-drive");
  select.innerHTML = "";
  drives.forEach(function (name, index) {
    var option = document.createElement("option");
    option.value = index;
    option.textContent = name || "Drive " + (index + 1);
    select.appendChild(option);
  });
  if (!drives.length) {
    $("cd-tracks").innerHTML = "";
    say("cd-status", "No CD drive was found. Connect a drive, or name a disc image in the settings, and try again.", "error");
    return;
  }
  readDisc();
}

function readDisc() {
  var drive = Number($("cd-drive").value);
  cdTrack = -1;
  $("cd-rip").disabled = true;
  $("cd-tracks").innerHTML = "";
  $("cd-id").textContent = "";
  var tracks;
  try { tracks = call("GetTracksInfo", [drive]); }
  catch (e) { say("cd-status", /No Disk/.test(e.message) ? "There is no disc in the drive. Insert an audio CD and press “Read disc”." : e.message, "error"); return; }
  try {
    var id = call("GetDiskId", [drive]);
    $("cd-id").textContent = "Disc id " + ((id[0] >>> 0).toString(16).padStart(8, "0")) + " · " + id[1] + " tracks · " + WaveView.clock(id[id.length - 1] * 1000);
  } catch (e) { /* the track list is enough */ }
  var rows = "<tr><th>#</th><th>Track</th><th>Length</th></tr>";
  tracks.forEach(function (length, index) {
    var data = length === "DATA";
    rows += "<tr data-track=\"" + index + "\" class=\"" + (data ? "data" : "selectable") + "\"><td>" + (index + 1) +
            "</td><td>" + (data ? "Data track" : "Track " + (index + 1)) + "</td><td>" + (data ? "—" : WaveView.clock(length / 75 * 1000)) + "</td></tr>";
  });
  $("cd-tracks").innerHTML = rows;
  say("cd-status", "Choose a track and press “Rip selected track”.");
}

function ripTrack() {
  if (cdTrack < 0) return;
  var drive = Number($("cd-drive").value);
  var track = cdTrack;
  var wave = tempPath("cd" + (++songCount) + ".wav");
  var source = "CD track " + (track + 1);
  stopPlaying();
  stopSongWork();
  $("song").hidden = false;
  $("song-title").textContent = source;
  $("wave").hidden = $("stretch").hidden = true;
  $("shape").hidden = $("make").hidden = $("send").hidden = true;
  say("song-status", "");
  songLine.show("Ripping…", function () { stopSongWork(); songLine.hide(); say("song-status", "Ripping stopped; nothing was kept."); });
  var started = Date.now();
  try {
    songJob = Workers.start("RipAudioCdTrack", [drive, track, wave, 100], function (status, done, total) {
      if (status === 3301) { songLine.update(done, total, "Ripping… " + Math.round(100 * done / Math.max(1, total)) + " %"); return false; }
      if (status === 3302) { songLoaded(source, wave, Date.now() - started); return true; }
      songLine.hide();
      if (status !== 3300) say("song-status", "Track " + (track + 1) + " cannot be ripped: " + (CD_FAILURES[status] || "status " + status) + ".", "error");
      return true;
    });
  } catch (e) {
    songLine.hide();
    say("song-status", "Track " + (track + 1) + " cannot be ripped: " + e.message, "error");
  }
}

$("cd-tracks").addEventListener("click", function (event) {
  var row = event.target.closest("tr.selectable");
  if (!row) return;
  Array.prototype.forEach.call(this.querySelectorAll("tr"), function (r) { r.classList.remove("selected"); });
  row.classList.add("selected");
  cdTrack = Number(row.dataset.track);
  $("cd-rip").disabled = false;
});

// --- Listening ------------------------------------------------------------------

var PLAY_FAILURES = {
  3200: "the sound cannot be opened", 3201: "the sound is damaged", 3202: "the sound is damaged",
  3203: "the stretch starts at the very end of the song", 3204: "the sound cannot be read there",
  3206: "no sound output is available (is the sound server running?)"
};

function volume() { return Number($("volume").value); }

function setPlaying(state) {
  $("play").disabled = state !== "stopped";
  $("pause").disabled = $("stop").disabled = state === "stopped";
  $("pause").innerHTML = state === "paused" ? "&#9654;" : "&#10074;&#10074;";
  $("pause").title = state === "paused" ? "Resume (F5)" : "Pause (F5)";
  if (state === "stopped") { WaveView.cursorAt(null); $("meter-bar").style.width = "0"; }
}

function play() {
  if (!song || playJob) return;
  if (!Functions.has("PlayWaveFile")) { say("play-status", "Listening is not available in this version.", "error"); return; }
  var selection = WaveView.selection();
  paused = false;
  try {
    var requested = Date.now();
    var first = true, heard = false;
    playJob = Workers.start("PlayWaveFile", [song.wave, volume(), $("loop").checked, selection.start, selection.length,
                                             seconds("fade-in") * 1000, seconds("fade-out") * 1000, 100],
      function (status, position, length, level) {
        if (status === 3301 || status === 3302) {
          if (first) { first = false; console.log("playing " + (Date.now() - requested) + " ms after play was pressed"); }
          // The first report past the start tells when the sound began.
          if (!heard && position > 0) { heard = true; console.log("sound began " + (Date.now() - requested - position) + " ms after play was pressed"); }
          WaveView.cursorAt(selection.start + position);
          $("play-time").textContent = WaveView.clock(selection.start + position);
          $("meter-bar").style.width = Math.min(100, level / 120) + "%";
          return false;
        }
        playJob = 0;
        setPlaying("stopped");
        if (status === 3303) { say("play-status", ""); console.log("playback ended"); }
        else say("play-status", "The stretch cannot be played: " + (PLAY_FAILURES[status] || "status " + status) + ".", "error");
        return true;
      });
    setPlaying("playing");
    say("play-status", "Playing " + WaveView.clock(selection.start) + " to " + WaveView.clock(selection.start + selection.length) + "…");
  } catch (e) {
    playJob = 0;
    say("play-status", "The stretch cannot be played: " + e.message, "error");
  }
}

function togglePause() {
  if (!playJob) { play(); return; }
  paused = !paused;
  call(paused ? "PauseWaveFile" : "ResumeWaveFile", [playJob]);
  setPlaying(paused ? "paused" : "playing");
  say("play-status", paused ? "Paused." : "Playing…");
}

function stopPlaying() {
  if (!playJob) return;
  try { call("StopWaveFile", [playJob]); } catch (e) { Workers.stop(playJob); }
}

$("volume").addEventListener("input", function () {
  $("volume-out").textContent = volume() + " %";
  // While playing, the level changes at once (up to 100 %; more applies from the next play).
  if (playJob) try { call("SetWaveFileVolume", [playJob, Math.min(100, volume())]); } catch (e) { /* ended */ }
});
$("volume").addEventListener("change", function () { Jar.set("volume", volume()); });

// --- Saving the ringtone ------------------------------------------------------------

var MAKE_FAILURES = {
  3200: "the stretch starts at the very end of the song", 3201: "the song's sound cannot be opened",
  3202: "the song's sound cannot be read", 3203: "the song's sound is damaged", 3204: "the song's sound cannot be read there",
  3206: "the ringtone encoder cannot be started", 3207: "the ringtone encoder cannot be set up",
  3208: "the file cannot be created there: check that the folder exists and that you may write to it, or choose another folder",
  3209: "writing the file failed (the disk may be full)"
};
var MP3_FAILURES = {
  3200: "the MP3 encoder is missing", 3201: "the MP3 encoder is incomplete", 3202: "the stretch cannot be read",
  3203: "the file cannot be created there: check that the folder exists and that you may write to it, or choose another folder",
  3204: "the MP3 encoder cannot be started", 3209: "writing the file failed (the disk may be full)"
};

function format() { return document.querySelector("input[name=format]:checked").value; }

function makeRingtone() {
  if (!song || makeJob) return;
  var kind = FORMATS[format()];
  var folder = Jar.get("ringtoneFolder", call("GetSpecialFolderPath", ["Music"]));
  var proposed = folder + "/" + baseName(song.source) + " ringtone" + kind.ext;
  var target;
  try { target = call("SaveFileName", ["Save the ringtone", kind.filters, proposed]); }
  catch (e) { say("make-status", "The file dialog cannot be shown: " + e.message, "error"); return; }
  if (!target) return;
  Jar.set("ringtoneFolder", folderOf(target));
  var selection = WaveView.selection();
  var started = Date.now();
  var stretch = [selection.start, selection.length, volume(), seconds("fade-in") * 1000, seconds("fade-out") * 1000, 100];
  var done = function () {
    makeLine.hide();
    makeJob = 0;
    $("make-go").disabled = false;
    var size = call("FileSize", [target]);
    var took = Date.now() - started;
    say("make-status", "Saved “" + fileName(target) + "” (" + sizeText(size) + ", " + WaveView.clock(selection.length) + ") in " + folderOf(target) + ".", "done");
    console.log("ringtone saved " + target + " after " + took + " ms");
    ringtone = {path: target, format: format()};
    showSend();
  };
  var failed = function (status, table) {
    makeLine.hide();
    makeJob = 0;
    $("make-go").disabled = false;
    if (status !== 3300) say("make-status", "“" + fileName(target) + "” cannot be saved: " + (table[status] || "status " + status) + ".", "error");
    else say("make-status", "Stopped; no ringtone was saved.");
  };
  $("make-go").disabled = true;
  say("make-status", "");
  makeLine.show("Saving…", function () { Workers.stop(makeJob); failed(3300, {}); });
  try {
    if (format() === "mp3") {
      var wave = tempPath("stretch" + Date.now() + ".wav");
      makeJob = Workers.start("MakeRingtone", [song.wave, wave, 4011].concat(stretch), function (status, doneBytes, total) {
        if (status === 3301) { makeLine.update(doneBytes / 2, total, "Cutting the stretch…"); return false; }
        if (status !== 3303) { failed(status, MAKE_FAILURES); return true; }
        makeJob = Workers.start("MakeMP3", [wave, target, 128, 100], function (mp3Status, read, size) {
          if (mp3Status === 3301) { makeLine.update(size / 2 + read / 2, size, "Encoding MP3…"); return false; }
          if (mp3Status === 3302) done(); else failed(mp3Status, MP3_FAILURES);
          return true;
        });
        return true;
      });
    } else {
      makeJob = Workers.start("MakeRingtone", [song.wave, target, format() === "3gp" ? 4010 : 4011].concat(stretch), function (status, doneBytes, total) {
        if (status === 3301) { makeLine.update(doneBytes, total, "Encoding… " + Math.round(100 * doneBytes / Math.max(1, total)) + " %"); return false; }
        if (status === 3303) done(); else failed(status, MAKE_FAILURES);
        return true;
      });
    }
  } catch (e) {
    makeLine.hide();
    makeJob = 0;
    $("make-go").disabled = false;
    say("make-status", "The ringtone cannot be saved: " + e.message, "error");
  }
}

// --- Sending ----------------------------------------------------------------

var PUSH_FAILURES = {
  3200: "the ringtone file cannot be opened", 3201: "the ringtone file is empty", 3202: "Bluetooth is not available",
  3203: "Bluetooth is not available", 3204: "no connection can be made", 3205: "the phone's address is not valid",
  3206: "the phone does not answer (is it near, switched on and visible?)", 3207: "the phone refused the connection",
  3208: "the phone did not accept the file", 3210: "the transfer broke off", 3211: "the phone did not close the transfer properly"
};
var UPLOAD_FAILURES = {
  3202: "the ringtone file cannot be opened", 3203: "the ringtone file cannot be read", 3204: "the network is not available",
  3205: "the server cannot be reached", 3206: "the request cannot be made", 3207: "the server does not accept the request",
  3208: "the ringtone file cannot be opened", 3209: "the connection broke off", 3210: "the connection broke off",
  3211: "the ringtone file cannot be read", 3212: "the server's answer cannot be read"
};
var selectedPhone = "";

function showSend() {
  $("send").hidden = false;
  $("send-file").textContent = "Ringtone: " + ringtone.path;
  say("send-status", "");
  var bluetooth = Functions.has("BTDiscover");
  $("bt-find").disabled = !bluetooth;
  $("obex-send").disabled = !Functions.has("BTSend");
  $("upload-send").disabled = !Functions.has("UploadFiles");
  if (!bluetooth) $("bt-searching").textContent = "Bluetooth is not available in this version.";
  $("send").scrollIntoView({block: "end"});
  logLayout(["bt-find", "obex-target", "obex-send"]);
}

function findPhones() {
  if (findJob) return;
  var list = $("bt-devices");
  list.innerHTML = "";
  selectedPhone = "";
  $("bt-send").disabled = true;
  $("bt-searching").textContent = "Searching for phones…";
  var found = 0;
  try {
    findJob = Workers.start("BTDiscover", [], function (status, name, address) {
      if (status === 3300) {
        found++;
        var item = document.createElement("li");
        item.dataset.address = address;
        item.innerHTML = "<span></span><span class=\"address\"></span>";
        item.firstChild.textContent = name || "Unnamed device";
        item.lastChild.textContent = address;
        list.appendChild(item);
        return false;
      }
      findJob = 0;
      $("bt-searching").textContent = "";
      console.log("search finished: " + found + " phones, status " + status);
      if (status === 3302 && !found) list.innerHTML = "<li class=\"empty\">No phones found. Switch Bluetooth on, make the phone visible and search again.</li>";
      else if (status === 3202) list.innerHTML = "<li class=\"empty\">Bluetooth is not available on this computer.</li>";
      else if (status !== 3302 && status !== 3301) list.innerHTML = "<li class=\"empty\">The search failed (status " + status + ").</li>";
      return true;
    });
  } catch (e) {
    $("bt-searching").textContent = "";
    list.innerHTML = "<li class=\"empty\">The search cannot start: " + e.message + "</li>";
  }
}

$("bt-devices").addEventListener("click", function (event) {
  var item = event.target.closest("li[data-address]");
  if (!item) return;
  Array.prototype.forEach.call(this.children, function (li) { li.classList.remove("selected"); });
  item.classList.add("selected");
  selectedPhone = item.dataset.address;
  $("bt-send").disabled = false;
});

function push(target, label) {
  if (!ringtone || sendJob) return;
  var name = fileName(ringtone.path);
  sendLine.show("Connecting to " + label + "…", function () { Workers.stop(sendJob); sendJob = 0; sendLine.hide(); say("send-status", "Sending stopped."); });
  say("send-status", "");
  try {
    sendJob = Workers.start("BTSend", [target, ringtone.path, name, 100], function (status, sent, size) {
      if (status === 3300) { sendLine.update(sent, size, "Sending to " + label + "… " + Math.round(100 * sent / Math.max(1, size)) + " %"); return false; }
      sendJob = 0;
      sendLine.hide();
      if (status === 3302) { say("send-status", "“" + name + "” was sent to " + label + ".", "done"); console.log("ringtone sent to " + target); }
      else if (status === 3301) say("send-status", label + " refused “" + name + "”, or the transfer was stopped.", "error");
      else say("send-status", "“" + name + "” cannot be sent to " + label + ": " + (PUSH_FAILURES[status] || "status " + status) + ".", "error");
      return true;
    });
  } catch (e) {
    sendLine.hide();
    say("send-status", "“" + name + "” cannot be sent: " + e.message, "error");
  }
}

function pushToServer() {
  var target = $("obex-target").value.trim();
  if (!/^[^\s:]+:\d+$/.test(target)) { say("send-status", "Enter the OBEX server as host:port, for example 192.168.1.20:650.", "error"); return; }
  Jar.set("obexTarget", target);
  push(target, target);
}

function upload() {
  var url = $("upload-url").value.trim();
  if (!/^http:\/\/\S+$/.test(url)) { say("send-status", "Enter a web address starting with http://.", "error"); return; }
  if (!ringtone || sendJob) return;
  Jar.set("uploadUrl", url);
  var name = fileName(ringtone.path);
  sendLine.show("Uploading…", function () { Workers.stop(sendJob); sendJob = 0; sendLine.hide(); say("send-status", "Upload stopped."); });
  try {
    sendJob = Workers.start("UploadFiles", [url, [ringtone.path], 100, true], function (status, index, count, path, sent, total) {
      if (status >= 3301 && status <= 3303) { sendLine.update(sent, total, "Uploading… " + Math.round(100 * sent / Math.max(1, total)) + " %"); return false; }
      sendJob = 0;
      sendLine.hide();
      if (status === 3304) say("send-status", "“" + name + "” was uploaded to " + url + ".", "done");
      else if (status !== 3300) say("send-status", "“" + name + "” cannot be uploaded: " + (UPLOAD_FAILURES[status] || "status " + status) + ".", "error");
      return true;
    });
  } catch (e) {
    sendLine.hide();
    say("send-status", "“" + name + "” cannot be uploaded: " + e.message, "error");
  }
}

// --- Menus, shortcuts, tray and closing --------------------------------------------

var COMMANDS = {
  1: chooseSong, 2: showCd, 3: togglePause, 4: stopPlaying,
  5: function () { WaveView.zoomIn(); }, 6: function () { WaveView.zoomOut(); }, 7: makeRingtone,
  10: function () { shell.ComeFromSystray(); }
};
function onMenu(item) {
  try { if (COMMANDS[item]) COMMANDS[item](); }
  catch (e) { console.log("script error in menu command " + item + ": " + e.message); }
}

function installMenus() {
  try {
    shell.SetContextMenu([["Open song…", "Ctrl+O", 1], ["Rip from CD…", "Ctrl+R", 2], ["", "", 0],
      ["Play / pause", "F5", 3], ["Stop", "F6", 4], ["", "", 0], ["Zoom in", "Ctrl+Up", 5], ["Zoom out", "Ctrl+Down", 6],
      ["", "", 0], ["Save ringtone…", "Ctrl+S", 7]], "onMenu");
    shell.SetSystrayMenu([["Show " + APP, "", 10], ["Open song…", "", 1]], "onMenu");
  } catch (e) { footer("Menus are not available: " + e.message); }
}

// Closing with work running asks first; every worker is stopped before the window goes.
function onclose() {
  if (Workers.busy() && Functions.has("MsgBox")) {
    var answer = call("MsgBox", ["Work is still running (" + Workers.names().join(", ") + ").\nStop it and quit?", APP, 4 | 0x30 | 0x100]);
    if (answer !== 6) return;
  }
  Workers.stopAll();
  if (tempFiles.length && Functions.has("RunExecutable")) {
    try { call("RunExecutable", ["rm -f " + tempFiles.map(function (p) { return "'" + p.replace(/'/g, "'\\''") + "'"; }).join(" ")]); } catch (e) { /* left for the system */ }
  }
  shell.Exit();
}

// --- Wiring ---------------------------------------------------------------------

$("open").addEventListener("click", chooseSong);
$("recent").addEventListener("change", function () { if (this.value) openSong(this.value); this.value = ""; });
$("rip").addEventListener("click", showCd);
$("cd-close").addEventListener("click", function () { $("cd").hidden = true; if (!song) $("welcome").hidden = false; });
$("cd-refresh").addEventListener("click", readDisc);
$("cd-drive").addEventListener("change", readDisc);
$("cd-rip").addEventListener("click", ripTrack);
$("zoom-in").addEventListener("click", function () { WaveView.zoomIn(); });
$("zoom-out").addEventListener("click", function () { WaveView.zoomOut(); });
$("sel-start").addEventListener("change", selectionFromFields);
$("sel-length").addEventListener("change", selectionFromFields);
$("sel-all").addEventListener("click", function () { if (song) WaveView.select(0, song.ms); });
$("play").addEventListener("click", play);
$("pause").addEventListener("click", togglePause);
$("stop").addEventListener("click", stopPlaying);
$("make-go").addEventListener("click", makeRingtone);
$("bt-find").addEventListener("click", findPhones);
$("bt-send").addEventListener("click", function () { if (selectedPhone) push(selectedPhone, "the phone"); });
$("obex-send").addEventListener("click", pushToServer);
$("upload-send").addEventListener("click", upload);
["fade-in", "fade-out"].forEach(function (id) { $(id).addEventListener("change", function () { Jar.set(id, $(id).value); }); });
Array.prototype.forEach.call(document.querySelectorAll("input[name=format]"), function (radio) {
  radio.addEventListener("change", function () { Jar.set("format", format()); });
});

(function start() {
  $("volume").value = Jar.get("volume", "100");
  $("volume-out").textContent = volume() + " %";
  $("fade-in").value = Jar.get("fade-in", "1");
  $("fade-out").value = Jar.get("fade-out", "2");
  var saved = document.querySelector("input[name=format][value=\"" + Jar.get("format", "3gp") + "\"]");
  if (saved) saved.checked = true;
  $("obex-target").value = Jar.get("obexTarget", "");
  $("upload-url").value = Jar.get("uploadUrl", "");
  fillRecent();
  setPlaying("stopped");
  installMenus();
  try { shell.EnableDrop("onDragEnter", "onDragOver", "onDragLeave", "onDropFiles"); } catch (e) { /* drops not offered */ }
  if (!Functions.has("GetDrivesInfo")) $("rip").title = "Audio CDs are not supported in this version";
  console.log("ready");
})();
