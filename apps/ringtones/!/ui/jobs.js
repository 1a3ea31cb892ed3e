// The application's way of calling the extension library: synchronous calls
// that turn failures into sentences, workers whose callbacks are routed to
// a handler, and a record of which functions this installation has.
"use strict";

var shell = window.external;

// A fault in the page's own code is reported where a developer looks.
window.addEventListener("error", function (event) {
  console.log("script error: " + event.message + " at " + event.filename + ":" + event.lineno);
});

// Extension functions the application uses, probed once with more
// arguments than any of them takes: a function that is missing answers
// "Function not found" instead of its own count check. A function that takes
// any count would run, so its capability is probed through a sibling.
var Functions = (function () {
  var known = {};
  var probedAs = {BTDiscover: "BTSend"};
  return {
    has: function (name) {
      var probe = probedAs[name] || name;
      if (!(probe in known)) {
        try { shell.Execute(probe, [0, 0, 0, 0, 0, 0, 0, 0, 0, 0]); known[probe] = true; }
        catch (e) { known[probe] = !/Function not found/.test(e.message); }
      }
      return known[probe];
    }
  };
})();

// A synchronous call; the error's message (without the library's
// "Catastrophic: " prefix) is thrown as an Error.
function call(name, args) {
  try {
    return shell.Execute(name, args || []);
  } catch (e) {
    throw new Error(String(e.message).replace(/^Catastrophic: /, ""));
  }
}

function fileName(path) { return String(path).replace(/^.*\//, ""); }
function folderOf(path) { var at = String(path).lastIndexOf("/"); return at > 0 ? path.substring(0, at) : "/"; }
function baseName(path) { return fileName(path).replace(/\.[^.]*$/, "") || "sound"; }

// Workers: each start gets a global callback name of its own, so late
// reports of a stopped worker never reach the next one's handler.
var Workers = (function () {
  var running = {};
  var serial = 0;
  return {
    // Starts EX_<name>(args) and hands every callback's arguments to
    // handler(status, ...); returns the worker's thread id. handler returns
    // true once the worker reported its last word.
    start: function (name, args, handler) {
      var callback = "onWorker" + (++serial);
      var id = 0;
      window[callback] = function () {
        var finished = true;
        try { finished = handler.apply(null, arguments); }
        catch (e) { console.log("script error in a " + name + " report: " + e.message); }
        if (finished) { delete running[id]; delete window[callback]; }
        return true;
      };
      try {
        id = shell.Execute(name, args, callback);
      } catch (e) {
        delete window[callback];
        throw new Error(String(e.message).replace(/^Catastrophic: /, ""));
      }
      running[id] = name;
      return id;
    },
    stop: function (id) {
      if (!id) return;
      try { shell.TerminateThread(id); } catch (e) { /* already ended */ }
      delete running[id];
    },
    stopAll: function () {
      try { shell.TerminateThread(0); } catch (e) { /* none running */ }
      running = {};
    },
    busy: function () { return Object.keys(running).length > 0; },
    names: function () { return Object.keys(running).map(function (id) { return running[id]; }); }
  };
})();

// A progress line of a card: bar, text and a Stop button.
function ProgressLine(prefix) {
  this.box = document.getElementById(prefix + "-job");
  this.bar = document.getElementById(prefix + "-bar");
  this.text = document.getElementById(prefix + "-text");
  this.stopButton = document.getElementById(prefix + "-stop");
  var self = this;
  this.onStop = null;
  this.stopButton.addEventListener("click", function () { if (self.onStop) self.onStop(); });
}
ProgressLine.prototype.show = function (text, onStop) {
  this.onStop = onStop;
  this.bar.style.width = "0";
  this.text.textContent = text;
  this.stopButton.disabled = !onStop;
  this.box.hidden = false;
};
ProgressLine.prototype.update = function (done, total, text) {
  if (total > 0) this.bar.style.width = Math.min(100, 100 * done / total).toFixed(1) + "%";
  if (text) this.text.textContent = text;
};
ProgressLine.prototype.hide = function () { this.box.hidden = true; this.onStop = null; };

// A card's status line: plain, done or error.
function say(id, text, kind) {
  var line = document.getElementById(id);
  line.textContent = text || "";
  line.className = "status" + (kind ? " " + kind : "");
  if (kind === "error") console.log("error: " + text);
}

// The jar keeps the application's settings beside the extension library.
var Jar = {
  section: "Ringtones",
  get: function (key, fallback) {
    try { var value = shell.Execute("GetJarVal", [this.section, key]); return value === "" ? fallback : value; }
    catch (e) { return fallback; }
  },
  set: function (key, value) {
    try { shell.Execute("SetJarVal", [this.section, key, String(value)]); } catch (e) { /* not kept */ }
  }
};
