// The cart lives in sessionStorage, so every fresh tab starts with an empty cart.
const PRODUCTS = {
  "Blue Backpack": 29.0,
  "Red T-Shirt": 15.99,
  "Bike Light": 9.99,
};

function cartItems() {
  return JSON.parse(sessionStorage.getItem("cart") || "[]");
}

function saveCart(items) {
  sessionStorage.setItem("cart", JSON.stringify(items));
}

function money(amount) {
  return "$" + amount.toFixed(2);
}

function cartTotal() {
  return cartItems().reduce((sum, name) => sum + PRODUCTS[name], 0);
}

function showCartCount() {
  const count = document.getElementById("count");
  if (count) count.textContent = String(cartItems().length);
}

document.addEventListener("DOMContentLoaded", showCartCount);
