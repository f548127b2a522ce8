// Hands downloads to Truvane. The native host (truvane-browser-host) loads Truvane's
// browser plug-in and plays the browser's part for it; this worker tells the host which
// downloads to hand over. A download whose MIME type or file extension the plug-in
// registered is paused here, and its URL, referrer and cookies go to the host, which
// gives them to the plug-in as a browser would. Once Truvane has it, the browser's
// download is cancelled and erased from its list; when Truvane could be neither reached
// nor started, the browser's download goes on, so the file is never lost between the two.
// A URL list ("application/x-url-list") is read here and its text goes along, as the
// plug-in reads such a stream to its end.

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "com.orbenix.truvane.browser_host";
const URL_LIST_TYPE = "application/x-url-list";
// A URL list longer than this is not a list of downloads.
const MAX_URL_LIST_BYTES = 2 * 1024 * 1024;

let port = null;
const waiting = [];  // replies come back in the order the requests went
let typesPromise = null;

function connect() {
  if (port) return port;
  port = api.runtime.connectNative(HOST);
  port.onMessage.addListener((reply) => {
    const resolve = waiting.shift();
    if (resolve) resolve(reply);
  });
  port.onDisconnect.addListener(() => {
    const error = api.runtime.lastError;
    console.log("truvane: native host disconnected", error ? error.message : "");
    port = null;
    typesPromise = null;
    while (waiting.length) waiting.shift()({ error: "disconnected" });
  });
  return port;
}

function ask(message) {
  return new Promise((resolve) => {
    waiting.push(resolve);
    try {
      connect().postMessage(message);
    } catch (e) {
      waiting.splice(waiting.indexOf(resolve), 1);
      resolve({ error: String(e) });
    }
  });
}

function registeredTypes() {
  if (!typesPromise) {
    typesPromise = ask({ type: "types" }).then((reply) => {
      const mimes = new Set();
      const extensions = new Set();
      for (const t of reply.types || []) {
        if (t.mime) mimes.add(t.mime.toLowerCase());
        for (const e of t.extensions || []) extensions.add(e.toLowerCase());
      }
      console.log("truvane: registered types", [...mimes].join(" "), [...extensions].join(" "));
      return { mimes, extensions };
    });
  }
  return typesPromise;
}

function extensionOf(item) {
  let name = item.filename || "";
  if (!name) {
    try {
      name = decodeURIComponent(new URL(item.finalUrl || item.url).pathname);
    } catch (e) {
      return "";
    }
  }
  name = name.split(/[\\/]/).pop();
  const dot = name.lastIndexOf(".");
  return dot > 0 ? name.slice(dot + 1).toLowerCase() : "";
}

async function cookieHeader(url) {
  try {
    const cookies = await api.cookies.getAll({ url });
    return cookies.map((c) => `${c.name}=${c.value}`).join("; ");
  } catch (e) {
    return "";
  }
}

async function urlListText(url) {
  try {
    const response = await fetch(url, { credentials: "include" });
    const text = await response.text();
    return text.length <= MAX_URL_LIST_BYTES ? text : null;
  } catch (e) {
    return null;
  }
}

// The plug-in's pages: local files the extension cannot open, so their text is shown in
// an extension page. Its "go back" navigations need nothing here: a download never
// replaced the page the user was on.
function showPages(reply) {
  for (const nav of reply.navigations || []) {
    if (nav.page) {
      api.tabs.create({ url: api.runtime.getURL("page.html") + "#" + encodeURIComponent(nav.page) });
    }
  }
}

async function onCreated(item) {
  if (item.state && item.state !== "in_progress") return;
  const url = item.finalUrl || item.url;
  if (!/^https?:/i.test(url)) return;
  const types = await registeredTypes();
  const mime = (item.mime || "").toLowerCase();
  if (!types.mimes.has(mime) && !types.extensions.has(extensionOf(item))) return;

  try {
    await api.downloads.pause(item.id);
  } catch (e) {
    console.log("truvane: could not pause the download", String(e));
  }
  const message = {
    type: "download",
    url,
    referrer: item.referrer || "",
    cookies: await cookieHeader(url),
    mime,
  };
  if (mime === URL_LIST_TYPE) {
    const body = await urlListText(url);
    if (body !== null) message.body = body;
  }
  console.log("truvane: handing over", url);
  const reply = await ask(message);
  if (reply.error || reply.handedOff === false) {
    console.log("truvane: hand-off failed, the browser keeps the download", reply.error || "");
    try {
      await api.downloads.resume(item.id);
    } catch (e) {
      console.log("truvane: could not resume the download", String(e));
    }
  } else {
    try {
      await api.downloads.cancel(item.id);
      await api.downloads.erase({ id: item.id });
    } catch (e) {
      console.log("truvane: could not cancel the download", String(e));
    }
  }
  showPages(reply);
}

api.downloads.onCreated.addListener((item) => {
  onCreated(item).catch((e) => console.log("truvane:", String(e)));
});
registeredTypes();
