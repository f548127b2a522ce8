// Shows a page of Truvane's browser plug-in, passed in the address's fragment.
document.body.innerHTML = decodeURIComponent(location.hash.slice(1));
