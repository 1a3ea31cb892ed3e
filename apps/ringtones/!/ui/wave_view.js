// The waveform: the overview strip of the whole song and a zoomable strip
// on which the person drags out the stretch that rings, with a ruler and the
// play cursor. Times are milliseconds.
"use strict";

var WaveView = (function () {
  var BASE_WIDTH = 680;
  var LEVELS = 7;  // pictures 0 (overview) to 6 (32 times the first zoom)
  var view = document.getElementById("zoom-view");
  var strip = document.getElementById("zoom-strip");
  var zoomImg = document.getElementById("zoom-img");
  var overview = document.getElementById("overview");
  var overviewImg = document.getElementById("overview-img");
  var overviewWindow = document.getElementById("overview-window");
  var overviewSelection = document.getElementById("overview-selection");
  var selectionBox = document.getElementById("selection");
  var cursor = document.getElementById("cursor");
  var ruler = document.getElementById("ruler");
  var pictures = [];
  var duration = 0;
  var zoom = 1;
  var selection = {start: 0, length: 0};
  var onSelect = function () {};
  var drag = null;

  function naturalWidth(level) { return BASE_WIDTH << Math.max(0, level - 1); }
  function shownWidth() { return Math.max(naturalWidth(zoom), view.clientWidth); }
  function msAt(x) { return Math.max(0, Math.min(duration, x / shownWidth() * duration)); }
  function xAt(ms) { return duration ? ms / duration * shownWidth() : 0; }

  function url(path, stamp) { return "file://" + encodeURI(path) + "?v=" + stamp; }

  function clock(ms) {
    var seconds = ms / 1000;
    var minutes = Math.floor(seconds / 60);
    var rest = seconds - minutes * 60;
    return minutes + ":" + (rest < 10 ? "0" : "") + rest.toFixed(rest % 1 ? 1 : 0);
  }

  function drawRuler() {
    var width = shownWidth();
    var steps = [500, 1000, 2000, 5000, 10000, 15000, 30000, 60000, 120000, 300000];
    var step = steps[steps.length - 1];
    for (var i = 0; i < steps.length; i++) if (xAt(steps[i]) >= 70) { step = steps[i]; break; }
    var first = Math.ceil(msAt(view.scrollLeft) / step) * step;
    var last = msAt(view.scrollLeft + view.clientWidth);
    var html = "";
    for (var t = first; t <= last && width; t += step) {
      var x = xAt(t) - view.scrollLeft;
      if (x > 14 && x < view.clientWidth - 14) html += "<span style=\"left:" + x + "px\">" + clock(t) + "</span>";
    }
    ruler.innerHTML = html;
  }

  function drawOverview() {
    var width = overview.clientWidth;
    var shown = shownWidth();
    overviewWindow.style.left = (view.scrollLeft / shown * width) + "px";
    overviewWindow.style.width = Math.max(2, view.clientWidth / shown * width) + "px";
    overviewSelection.style.left = (duration ? selection.start / duration * width : 0) + "px";
    overviewSelection.style.width = (duration ? selection.length / duration * width : 0) + "px";
  }

  function drawSelection() {
    if (!pictures.length) return;
    selectionBox.style.left = xAt(selection.start) + "px";
    selectionBox.style.width = Math.max(2, xAt(selection.length)) + "px";
    drawOverview();
  }

  function layout() {
    var width = shownWidth();
    strip.style.width = width + "px";
    zoomImg.style.width = width + "px";
    drawSelection();
    drawRuler();
    document.getElementById("zoom-level").textContent = "Zoom " + (1 << (zoom - 1)) + "\u00d7";
    document.getElementById("zoom-in").disabled = zoom >= LEVELS - 1;
    document.getElementById("zoom-out").disabled = zoom <= 1;
  }

  function setZoom(level, centreMs) {
    level = Math.max(1, Math.min(LEVELS - 1, level));
    if (!pictures.length) return;
    var centre = centreMs !== undefined ? centreMs : msAt(view.scrollLeft + view.clientWidth / 2);
    zoom = level;
    zoomImg.src = pictures[level];
    layout();
    view.scrollLeft = Math.max(0, xAt(centre) - view.clientWidth / 2);
    drawRuler();
    drawOverview();
  }

  function select(start, length, fromPerson) {
    start = Math.max(0, Math.min(start, duration));
    length = Math.max(100, Math.min(length, duration - start));
    selection = {start: Math.round(start), length: Math.round(length)};
    drawSelection();
    onSelect(selection, fromPerson);
  }

  function stripX(event) { return event.clientX - strip.getBoundingClientRect().left; }

  view.addEventListener("mousedown", function (event) {
    if (!duration || event.button !== 0) return;
    event.preventDefault();
    drag = {anchor: msAt(stripX(event)), x: event.clientX, moved: false};
  });
  document.addEventListener("mousemove", function (event) {
    if (!drag) return;
    if (Math.abs(event.clientX - drag.x) > 3) drag.moved = true;
    if (!drag.moved) return;
    var at = msAt(stripX(event));
    select(Math.min(at, drag.anchor), Math.abs(at - drag.anchor), true);
    // Dragging past an edge scrolls the strip along.
    var box = view.getBoundingClientRect();
    if (event.clientX > box.right - 20) view.scrollLeft += 20;
    if (event.clientX < box.left + 20) view.scrollLeft -= 20;
  });
  document.addEventListener("mouseup", function (event) {
    if (!drag) return;
    // A click moves the stretch there, keeping its length.
    if (!drag.moved) select(drag.anchor, selection.length, true);
    drag = null;
  });
  view.addEventListener("scroll", function () { drawRuler(); drawOverview(); });
  overview.addEventListener("click", function (event) {
    var box = overview.getBoundingClientRect();
    var ms = (event.clientX - box.left) / box.width * duration;
    view.scrollLeft = Math.max(0, xAt(ms) - view.clientWidth / 2);
  });
  window.addEventListener("resize", function () { if (pictures.length) layout(); });

  return {
    LEVELS: LEVELS,
    // A song without pictures: the stretch is still kept and checked.
    setSong: function (songMs) { duration = songMs; pictures = []; selection = {start: 0, length: 0}; },
    // Shows the pictures (paths of levels 0 to LEVELS - 1) of a song.
    show: function (paths, songMs, initialSelection) {
      var stamp = Date.now();
      pictures = paths.map(function (path) { return url(path, stamp); });
      duration = songMs;
      overviewImg.src = pictures[0];
      zoom = 1;
      zoomImg.src = pictures[1];
      view.scrollLeft = 0;
      selection = initialSelection;
      layout();
    },
    onError: function (handler) { zoomImg.onerror = overviewImg.onerror = handler; },
    onSelect: function (handler) { onSelect = handler; },
    select: function (start, length) { select(start, length, false); },
    selection: function () { return selection; },
    zoomIn: function () { setZoom(zoom + 1, selection.start + selection.length / 2); },
    zoomOut: function () { setZoom(zoom - 1); },
    // The play cursor at ms (null hides it); the strip follows it.
    cursorAt: function (ms) {
      if (ms === null) { cursor.hidden = true; return; }
      cursor.hidden = false;
      var x = xAt(ms);
      cursor.style.left = x + "px";
      if (x < view.scrollLeft || x > view.scrollLeft + view.clientWidth - 10)
        view.scrollLeft = Math.max(0, x - 40);
    },
    clock: clock
  };
})();
