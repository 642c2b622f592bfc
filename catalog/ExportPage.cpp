#include "ExportPage.h"

const char *const ExportPageHead = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>VOR-NEX catalogue</title>
<style>
body{font:14px system-ui,sans-serif;margin:0;display:flex;flex-direction:column;height:100vh}
header{padding:8px;border-bottom:1px solid #ccc;display:flex;gap:8px;align-items:center}
#q{flex:1;max-width:30em;padding:4px}
#count{color:#666}
main{flex:1;overflow:auto;padding:8px}
ul{list-style:none;margin:0;padding-left:1.3em}
#tree>ul{padding-left:0}
.n{white-space:nowrap;padding:1px 0}
.n.f{cursor:pointer}
.t{display:inline-block;width:1.1em;color:#666}
.m{color:#777;margin-left:1em;font-size:90%}
.d{color:#555;font-style:italic;margin-left:1em;font-size:90%;white-space:pre-wrap}
.more{color:#36c;cursor:pointer}
#results{margin:0;padding-left:2em}
#results li{padding:2px 0;cursor:pointer}
#results li:hover{background:#eef}
.p{color:#777}
.hit>.n{background:#ffd}
</style>
</head>
<body>
<header><strong>VOR-NEX</strong><input id="q" type="search" placeholder="Search names" autocomplete="off" aria-label="Search names"><span id="count"></span></header>
<main><ol id="results" hidden></ol><div id="tree"></div></main>
<script type="application/json" id="vnx-data">)html";

const char *const ExportPageTail = R"html(</script>
<script>
(function () {
"use strict";
var D = JSON.parse(document.getElementById("vnx-data").textContent);
var E = D.e, V = D.v, T = D.t, n = E.length, CHUNK = 1000, LIMIT = 500;
// The entries are in tree order: end[i] is the index after the last entry below i.
var end = new Int32Array(n), stack = [];
for (var i = 0; i < n; i++) {
  var parent = E[i][0];
  while (stack.length && stack[stack.length - 1] !== parent) end[stack.pop()] = i;
  stack.push(i);
}
while (stack.length) end[stack.pop()] = n;

function sizeText(size) { return size == null ? "" : size.toLocaleString() + " bytes"; }
function nameOf(i) { return E[i][1] == null ? "" : String(E[i][1]); }
function children(i) { var r = []; for (var j = i + 1; j < end[i]; j = end[j]) r.push(j); return r; }
function hasChildren(i) { return E[i][2] === 1 && end[i] > i + 1; }

function node(i, extra) {
  var e = E[i], li = document.createElement("li"), row = document.createElement("div");
  var toggle = document.createElement("span"), name = document.createElement("span");
  li.dataset.i = i;
  row.className = hasChildren(i) ? "n f" : "n";
  toggle.className = "t";
  toggle.textContent = hasChildren(i) ? "\u25b8" : "";
  name.textContent = nameOf(i);
  row.appendChild(toggle);
  row.appendChild(name);
  var meta = document.createElement("span");
  meta.className = "m";
  meta.textContent = [extra || "", sizeText(e[3]), e[4], T[e[5]] || ""].filter(Boolean).join("  \u00b7  ");
  row.appendChild(meta);
  if (e.length > 6) {
    var d = document.createElement("div");
    d.className = "d";
    d.textContent = e[6];
    row.appendChild(d);
  }
  li.appendChild(row);
  if (hasChildren(i)) row.addEventListener("click", function () { toggleNode(li); });
  return li;
}

// Nodes are made when their folder opens, a chunk at a time, so a folder of many thousand files
// opens at once.
function addChunk(ul, list, from) {
  var f = document.createDocumentFragment(), to = Math.min(list.length, from + CHUNK);
  for (var k = from; k < to; k++) f.appendChild(node(list[k]));
  if (to < list.length) {
    var more = document.createElement("li");
    more.className = "more";
    more.textContent = "\u2026 " + (list.length - to) + " more";
    more.addEventListener("click", function () { ul.removeChild(more); addChunk(ul, list, to); });
    f.appendChild(more);
  }
  ul.appendChild(f);
}
function expand(li) {
  var i = +li.dataset.i, ul = li.querySelector(":scope > ul");
  if (!ul) {
    ul = document.createElement("ul");
    addChunk(ul, children(i), 0);
    li.appendChild(ul);
  }
  ul.hidden = false;
  li.firstChild.firstChild.textContent = "\u25be";
  li.classList.add("open");
  return ul;
}
function toggleNode(li) {
  if (li.classList.contains("open")) {
    li.querySelector(":scope > ul").hidden = true;
    li.firstChild.firstChild.textContent = "\u25b8";
    li.classList.remove("open");
  } else {
    expand(li);
  }
}

var tree = document.getElementById("tree"), top = document.createElement("ul");
for (var v = 0; v < V.length; v++) top.appendChild(node(V[v][0], [V[v][1], V[v][2]].filter(Boolean).join("  ")));
tree.appendChild(top);

function pathOf(i) {
  var parts = [];
  for (var p = E[i][0]; p >= 0; p = E[p][0]) parts.unshift(nameOf(p));
  return parts.join("\\");
}
function reveal(i) {
  var chain = [];
  for (var p = i; p >= 0; p = E[p][0]) chain.unshift(p);
  var li = top.querySelector(":scope > li[data-i='" + chain[0] + "']");
  for (var k = 1; li && k < chain.length; k++) {
    var ul = expand(li), next = null;
    while (!(next = ul.querySelector(":scope > li[data-i='" + chain[k] + "']"))) {
      var more = ul.querySelector(":scope > li.more");
      if (!more) break;
      more.click();
    }
    li = next;
  }
  if (!li) return;
  var old = tree.querySelector(".hit");
  if (old) old.classList.remove("hit");
  li.classList.add("hit");
  li.scrollIntoView({block: "center"});
}

var lowered = null, q = document.getElementById("q"), results = document.getElementById("results");
var count = document.getElementById("count"), timer = 0;
function search() {
  var text = q.value.trim().toLowerCase();
  results.textContent = "";
  if (!text) { results.hidden = true; tree.hidden = false; count.textContent = ""; return; }
  if (!lowered) { lowered = new Array(n); for (var i = 0; i < n; i++) lowered[i] = nameOf(i).toLowerCase(); }
  var found = 0, f = document.createDocumentFragment();
  for (var i = 0; i < n; i++) {
    if (lowered[i].indexOf(text) < 0) continue;
    if (found++ >= LIMIT) continue;
    var li = document.createElement("li"), where = document.createElement("span");
    li.dataset.i = i;
    li.textContent = nameOf(i) + "  ";
    where.className = "p";
    where.textContent = pathOf(i);
    li.appendChild(where);
    f.appendChild(li);
  }
  results.appendChild(f);
  results.hidden = false;
  tree.hidden = true;
  count.textContent = found > LIMIT ? "the first " + LIMIT + " of " + found + " found" : found + " found";
}
q.addEventListener("input", function () { clearTimeout(timer); timer = setTimeout(search, 150); });
results.addEventListener("click", function (event) {
  var li = event.target.closest("li");
  if (!li) return;
  q.value = "";
  search();
  reveal(+li.dataset.i);
});
})();
</script>
</body>
</html>
)html";
